#include "update/UnpackedArchive.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "util/ZipTestFiles.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using qbtest::ReadAll;

TEST(IsArchivePath, GoesByTheExtensionOfThePath) {
  struct Row {
    const char* path;
    bool archive;
  };
  const Row rows[] = {
      {"/sozai4/F/image.zip", true},   {"/template/T.ZIP", true},
      {"/sozai4/F/image.zip?x=1", true}, {"/data/pack.zip/pict.png", false},
      {"/zip/p.png", false},           {"/p.png?from=a.zip", false},
      {"/p.zipped", false},            {"/p.zip.png", false},
      {"", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(IsArchivePath(row.path), row.archive);
  }
}

TEST(UnpackArchive, StampsWhatWasUnpackedWholeAndForgetsWhatWasNot) {
  qbtest::TempDir scratch;
  const std::string made = scratch.Path() + "/made.zip";
  qbtest::WriteZip(made, {{"a.png", "A"}, {"sub/b.png", std::string(5000, 'b')}});
  const std::string intact = ReadAll(made);
  struct Row {
    const char* name;
    std::string bytes;
    bool unpacked;
  };
  const Row rows[] = {
      {"intact", intact, true},
      {"cut short", intact.substr(0, intact.size() / 2), false},
      {"not an archive", "<html>maintenance</html>", false},
      {"empty", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::TempDir folder;
    const std::string archive = folder.Path() + "/image.zip";
    // A stamp left from an earlier fetch of the archive.
    qbtest::WriteFile(UnpackedStampPath(archive), "earlier");
    qbtest::WriteFile(archive, row.bytes);
    EXPECT_EQ(static_cast<bool>(UnpackArchive(archive)), row.unpacked);
    EXPECT_EQ(WasUnpacked(archive), row.unpacked);
    EXPECT_FALSE(fs::exists(archive)) << "the archive goes either way";
    if (row.unpacked) {
      EXPECT_EQ(ReadAll(folder.Path() + "/a.png"), "A");
      EXPECT_EQ(ReadAll(folder.Path() + "/sub/b.png"), std::string(5000, 'b'));
    }
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".quillbox-")) << entry.path();
    }
  }
}

}  // namespace
}  // namespace qb
