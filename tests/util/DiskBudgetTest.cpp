#include "util/DiskBudget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "TempDir.h"
#include "util/Unzip.h"
#include "util/ZipTestFiles.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMiB = 1024 * 1024;

TEST(DiskBudget, RefusesArchivesPastTheirCapsAtTheEdges) {
  struct Row {
    const char* name;
    uint64_t compressed;
    uint64_t unpacked;
    bool refused;
  };
  const Row rows[] = {
      {"exactly the archive cap", kMaxArchiveBytes, kMaxArchiveBytes, false},
      {"one byte over the archive cap", kMaxArchiveBytes, kMaxArchiveBytes + 1, true},
      {"exactly the ratio", 4 * kMiB, 4 * kMiB * kMaxCompressionRatio, false},
      {"one byte over the ratio", 4 * kMiB, 4 * kMiB * kMaxCompressionRatio + 1, true},
      {"high ratio of a small archive is fine", 1, kRatioCheckedFrom, false},
      {"high ratio just past the small size", 1, kRatioCheckedFrom + 1, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(!ArchiveRefusal(row.compressed, row.unpacked).empty(), row.refused);
  }
}

TEST(DiskBudget, KeepsTheReserveFree) {
  qbtest::TempDir root;
  const std::optional<uint64_t> free = FreeBytes(root.Path());
  ASSERT_TRUE(free);
  {
    const qbtest::ScopedEnv reserve("QUILLBOX_DISK_RESERVE_BYTES", std::to_string(*free / 2));
    EXPECT_TRUE(RoomFor(root.Path(), 0));
    EXPECT_FALSE(RoomFor(root.Path(), *free));
  }
  const qbtest::ScopedEnv reserve("QUILLBOX_DISK_RESERVE_BYTES", std::to_string(*free * 2));
  EXPECT_FALSE(RoomFor(root.Path(), 0));
}

TEST(DiskBudget, UnpacksNothingPastItsLimits) {
  const std::string zeros(kRatioCheckedFrom + 1, '\0');  // deflates to a few kilobytes
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::string>> entries;
    std::optional<std::string> reserve;
    bool whole;  // a full pass over the archive
    std::vector<std::string> present;
  };
  const Row rows[] = {
      {"within the limits", {{"a.png", "AAA"}, {"b.png", "BBB"}}, std::nullopt, true,
       {"a.png", "b.png"}},
      {"compression ratio too high", {{"a.png", "AAA"}, {"bomb.png", zeros}}, std::nullopt, false,
       {}},
      {"would eat into the reserve", {{"a.png", "AAA"}}, std::to_string(uint64_t{1} << 62),
       false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::TempDir root;
    const qbtest::ScopedEnv reserve("QUILLBOX_DISK_RESERVE_BYTES", row.reserve);
    const std::string archive = root.Path() + "/image.zip";
    qbtest::WriteZip(archive, row.entries);
    EXPECT_EQ(static_cast<bool>(Unzip(archive)), row.whole);
    std::vector<std::string> present;
    for (const auto& entry : fs::directory_iterator(root.Path())) {
      if (entry.path().filename() != "image.zip") {
        present.push_back(entry.path().filename().string());
      }
    }
    std::sort(present.begin(), present.end());
    EXPECT_EQ(present, row.present) << "nothing half-written, no temporary names";
  }
}

TEST(DiskBudget, RemovesUnfinishedFilesOnly) {
  qbtest::TempDir root;
  fs::create_directories(root.Path() + "/sozai4/F");
  for (const char* name : {"a.png.partial", "sozai4/F/b.png.partial", "sozai4/F/c.png",
                           ".partial", "d.partial.png"}) {
    qbtest::WriteFile(root.Path() + "/" + name, "x");
  }
  EXPECT_EQ(RemovePartialFiles(root.Path()), 2u);
  EXPECT_FALSE(fs::exists(root.Path() + "/a.png.partial"));
  EXPECT_FALSE(fs::exists(root.Path() + "/sozai4/F/b.png.partial"));
  EXPECT_TRUE(fs::exists(root.Path() + "/sozai4/F/c.png"));
  EXPECT_TRUE(fs::exists(root.Path() + "/.partial"));
  EXPECT_TRUE(fs::exists(root.Path() + "/d.partial.png"));
}

}  // namespace
}  // namespace qb
