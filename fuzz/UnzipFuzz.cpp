// Downloaded archives into Unzip. Each input is written as "in.zip" into a
// fresh destination folder two levels below a temporary root (on /dev/shm
// when there is one) and unpacked there.
//
// Properties: the archive stays; nothing is created outside the destination
// (the root and the level between hold nothing else, and no entry with an
// absolute name leaves a file at that name); nothing below the destination is
// a symbolic link.

#include <minizip/unzip.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "util/Unzip.h"

namespace {

namespace fs = std::filesystem;

std::string g_root;  // removed at exit

void RemoveRoot() {
  std::error_code ignored;
  fs::remove_all(g_root, ignored);
}

// The stored names of the archive's entries, as far as minizip can list them.
std::vector<std::string> EntryNames(const std::string& archivePath) {
  std::vector<std::string> names;
  unzFile archive = unzOpen(archivePath.c_str());
  if (archive == nullptr) {
    return names;
  }
  for (int rc = unzGoToFirstFile(archive); rc == UNZ_OK && names.size() < 10000;
       rc = unzGoToNextFile(archive)) {
    char name[4096];
    unz_file_info info{};
    if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
      break;
    }
    // A name that fills the buffer comes without its terminating zero.
    names.emplace_back(name, std::min<size_t>(info.size_filename, sizeof name));
    names.back().resize(std::strlen(names.back().c_str()));
  }
  unzClose(archive);
  return names;
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string base = fs::is_directory("/dev/shm") ? std::string("/dev/shm")
                                                        : fs::temp_directory_path().string();
  std::string pattern = base + "/qbfuzz-unzip-XXXXXX";
  FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
  g_root = pattern;
  std::atexit(RemoveRoot);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path root(g_root);
  const fs::path level = root / "level";
  const fs::path destination = level / "destination";
  fs::create_directories(destination);
  const std::string archive = (destination / "in.zip").string();
  {
    std::ofstream out(archive, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::vector<std::string> absolute;
  for (const std::string& name : EntryNames(archive)) {
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
      std::error_code error;
      if (!fs::exists(fs::symlink_status(name, error))) {
        absolute.push_back(name);
      }
    }
  }

  (void)qb::Unzip(archive);

  FUZZ_CHECK(fs::is_regular_file(fs::symlink_status(archive)));
  FUZZ_CHECK(Listing(root) == std::set<std::string>{"level"});
  FUZZ_CHECK(Listing(level) == std::set<std::string>{"destination"});
  for (const std::string& name : absolute) {
    std::error_code error;
    FUZZ_CHECK(!fs::exists(fs::symlink_status(name, error)));
  }
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(destination)) {
    FUZZ_CHECK(!entry.is_symlink());
  }
  fs::remove_all(level);
  return 0;
}
