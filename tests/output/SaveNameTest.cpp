#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "TempDir.h"
#include "output/SaveDocument.h"

namespace qb {
namespace {

const std::string kJapanese = "\xe3\x81\x82";  // one character, three bytes

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) {
    out += text;
  }
  return out;
}

TEST(SaveName, SuggestedNamesBecomeSafeFileNames) {
  struct Row {
    const char* name;
    std::string suggested;
    std::string expected;
  };
  const Row rows[] = {
      {"last component", "C:\\work\\pdf\\label.qx3", "label.qx3"},
      {"no way up", "../..", ""},
      {"control bytes removed", "a\tb\n\x01\x7f.pdf", "ab.pdf"},
      {"long ASCII keeps its extension", Repeat("x", 300) + ".pdf", Repeat("x", 251) + ".pdf"},
      {"long Japanese cut between characters", Repeat(kJapanese, 100) + ".qx3",
       Repeat(kJapanese, 83) + ".qx3"},
      {"long without extension", Repeat("y", 256), Repeat("y", 255)},
      {"a long tail is no extension", "a." + Repeat("z", 300), "a." + Repeat("z", 253)},
      {"exactly the limit stays", Repeat("w", 251) + ".qx3", Repeat("w", 251) + ".qx3"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string name = SaveFileName(row.suggested);
    EXPECT_EQ(name, row.expected);
    EXPECT_LE(name.size(), kMaxFileNameBytes);
  }
}

TEST(SaveName, NumberedLongNamesStillFitTheFileSystem) {
  qbtest::TempDir dir;
  const std::string name = SaveFileName(Repeat(kJapanese, 100) + ".pdf");
  std::string paths[3];
  for (std::string& path : paths) {
    path = SaveIntoFolder(dir.Path(), name, "pdf", 3);
    ASSERT_FALSE(path.empty());
  }
  EXPECT_EQ(paths[0], dir.Path() + "/" + name);
  EXPECT_EQ(paths[2].substr(paths[2].size() - 8), " (2).pdf");
  EXPECT_LE(paths[2].size() - dir.Path().size() - 1, kMaxFileNameBytes);
}

TEST(SaveName, HeadlessSavesFallBackToTheNextUsableFolder) {
  qbtest::TempDir dir;
  const std::string blocker = dir.Path() + "/file";
  std::ofstream(blocker) << "not a folder";
  struct Row {
    const char* name;
    std::vector<std::string> folders;
    std::string expected;  // folder the document lands in; empty: none
  };
  const Row rows[] = {
      {"first usable", {dir.Path() + "/a", dir.Path() + "/b"}, dir.Path() + "/a"},
      {"below a file", {blocker + "/sub", dir.Path() + "/b"}, dir.Path() + "/b"},
      {"a file, not a folder", {blocker, dir.Path() + "/c"}, dir.Path() + "/c"},
      {"none usable", {blocker + "/x", blocker + "/y"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = SaveIntoFirstFolder(row.folders, "doc.qx3", "qx3", 3);
    EXPECT_EQ(path, row.expected.empty() ? "" : row.expected + "/doc.qx3");
  }
}

TEST(SaveName, HeadlessFolderOrderIsConfigDownloadsHome) {
  qbtest::TempDir home;
  qbtest::ScopedEnv homeEnv("HOME", home.Path());
  qbtest::ScopedEnv configEnv("XDG_CONFIG_HOME", home.Path() + "/.config");
  ::mkdir((home.Path() + "/.config").c_str(), 0700);
  ::mkdir((home.Path() + "/.config/Tavrim").c_str(), 0700);
  std::ofstream(home.Path() + "/.config/Tavrim/Quillbox.conf") << "[Save]\nfolder=~/saved\n";
  EXPECT_EQ(HeadlessSaveFolders(),
            (std::vector<std::string>{home.Path() + "/saved", home.Path() + "/Downloads",
                                      home.Path()}));
}

}  // namespace
}  // namespace qb
