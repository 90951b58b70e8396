#include "util/Unzip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "util/ZipTestFiles.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using qbtest::ReadAll;

TEST(Unzip, WritesSafeEntriesNextToTheArchiveAndSkipsUnsafeOnes) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::string>> entries;
    bool whole;  // a full pass over the archive
    std::vector<std::pair<std::string, std::string>> files;  // expected below the folder
    std::vector<std::string> absent;                         // relative to the temp root
  };
  const Row rows[] = {
      {"plain entries", {{"a.png", "AAA"}, {"b.SVG", "bee"}, {"t.qx3", "T"}}, true,
       {{"a.png", "AAA"}, {"b.SVG", "bee"}, {"t.qx3", "T"}}, {}},
      {"files the catalogue does not serve skipped",
       {{"qkprint.db", "junk"}, {"qkprint.db-journal", "j"}, {"verFile_DB.txt", "DBVER=999"},
        {"New_verFile_DB.txt", "DBVER=999"}, {"p.png.partial", "p"}, {"run.sh", "x"},
        {"qkprint.db/", ""}, {"ok.png", "O"}},
       true, {{"ok.png", "O"}},
       {"F/qkprint.db", "F/qkprint.db-journal", "F/verFile_DB.txt", "F/New_verFile_DB.txt",
        "F/p.png.partial", "F/run.sh"}},
      {"entry in subfolders gets its folders", {{"sub/deep/c.png", "C"}, {"d.png", "D"}}, true,
       {{"sub/deep/c.png", "C"}, {"d.png", "D"}}, {}},
      {"folder entry", {{"empty/", ""}, {"empty/e.png", "E"}}, true, {{"empty/e.png", "E"}}, {}},
      {"dot-dot entry skipped, rest kept", {{"../escape.png", "x"}, {"ok.png", "O"}}, true,
       {{"ok.png", "O"}}, {"escape.png"}},
      {"nested dot-dot skipped", {{"sub/../../escape2.png", "x"}, {"ok2.png", "2"}}, true,
       {{"ok2.png", "2"}}, {"escape2.png"}},
      {"absolute entry skipped", {{"/tmp/qb-unzip-absolute.png", "x"}, {"ok3.png", "3"}}, true,
       {{"ok3.png", "3"}}, {}},
      {"unicode names", {{"\xE7\xB4\xA0\xE6\x9D\x90/p.png", "P"}}, true,
       {{"\xE7\xB4\xA0\xE6\x9D\x90/p.png", "P"}}, {}},
      {"name longer than the name buffer skipped", {{std::string(5000, 'n'), "x"}, {"ok4.png", "4"}},
       true, {{"ok4.png", "4"}}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::TempDir root;
    const std::string folder = root.Path() + "/data/sozai4/F";
    fs::create_directories(folder);
    const std::string archive = folder + "/image.zip";
    qbtest::WriteZip(archive, row.entries);
    EXPECT_EQ(static_cast<bool>(Unzip(archive)), row.whole);
    for (const auto& [name, content] : row.files) {
      EXPECT_EQ(ReadAll(folder + "/" + name), content) << name;
    }
    for (const std::string& name : row.absent) {
      EXPECT_FALSE(fs::exists(root.Path() + "/data/sozai4/" + name)) << name;
    }
    EXPECT_FALSE(fs::exists("/tmp/qb-unzip-absolute.png"));
    EXPECT_TRUE(fs::exists(archive)) << "the archive itself stays";
  }
}

TEST(Unzip, ReportsArchivesThatCannotBeRead) {
  qbtest::TempDir root;
  struct Row {
    const char* name;
    std::string content;  // file content; empty name means no file
    bool exists;
  };
  const Row rows[] = {
      {"missing archive", "", false},
      {"not a zip", "this is not an archive at all", true},
      {"empty file", "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string archive = root.Path() + "/" + row.name + ".zip";
    if (row.exists) {
      qbtest::WriteFile(archive, row.content);
    }
    EXPECT_FALSE(static_cast<bool>(Unzip(archive)));
  }
}

TEST(Unzip, StopsAtACorruptEntryKeepingTheOnesBefore) {
  qbtest::TempDir root;
  const std::string archive = root.Path() + "/image.zip";
  const std::string big(20000, 'z');
  qbtest::WriteZip(archive, {{"first.svg", "first"}, {"second.svg", big}});
  // Damage the compressed data of the second entry (after its local header).
  std::string bytes = ReadAll(archive);
  const size_t second = bytes.find("second.svg");
  ASSERT_NE(second, std::string::npos);
  for (size_t i = second + 12; i < second + 40 && i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  }
  qbtest::WriteFile(archive, bytes);

  EXPECT_FALSE(static_cast<bool>(Unzip(archive)));
  EXPECT_EQ(ReadAll(root.Path() + "/first.svg"), "first");
  EXPECT_FALSE(fs::exists(root.Path() + "/second.svg")) << "no half-written entry";
}

}  // namespace
}  // namespace qb
