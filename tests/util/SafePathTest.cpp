#include "util/SafePath.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

namespace qb {
namespace {

TEST(ResolveInsideFolder, RefusesEverythingThatLeavesTheFolder) {
  qbtest::TempDir top;
  const std::string folder = top.Path() + "/data";
  qbtest::WriteFile(folder + "/svg/a.svg", "x");
  qbtest::WriteFile(top.Path() + "/secret", "s");
  std::filesystem::create_directory_symlink(top.Path(), folder + "/up");
  std::filesystem::create_symlink(top.Path() + "/secret", folder + "/link-out");
  std::filesystem::create_symlink(folder + "/svg/a.svg", folder + "/link-in");
  const std::string root = std::filesystem::canonical(folder).string();

  struct Row {
    const char* name;
    std::string path;
    std::optional<std::string> resolved;
  };
  const Row rows[] = {
      {"relative file", "svg/a.svg", root + "/svg/a.svg"},
      {"leading slash is absolute", "/etc/passwd", std::nullopt},
      {"missing file inside", "svg/new.svg", root + "/svg/new.svg"},
      {"dot-dot inside", "svg/../svg/a.svg", root + "/svg/a.svg"},
      {"dot-dot out", "../secret", std::nullopt},
      {"deep dot-dot out", "svg/../../../x", std::nullopt},
      {"absolute inside", folder + "/svg/a.svg", root + "/svg/a.svg"},
      {"symlinked folder out", "up/secret", std::nullopt},
      {"symlinked file out", "link-out", std::nullopt},
      {"symlink staying inside", "link-in", root + "/svg/a.svg"},
      {"sibling with the folder's name as prefix", "../data2/x", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ResolveInsideFolder(folder, row.path), row.resolved);
  }
  EXPECT_EQ(ResolveInsideFolder(top.Path() + "/missing", "a"), std::nullopt);
}

}  // namespace
}  // namespace qb
