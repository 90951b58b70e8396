#include "util/DiskBudget.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "util/EnvNumber.h"

namespace qb {

std::optional<uint64_t> FreeBytes(const std::string& path) {
  struct statvfs info{};
  if (::statvfs(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return uint64_t{info.f_bavail} * info.f_frsize;
}

uint64_t DiskReserve(const std::string& path) {
  if (const std::optional<uint64_t> reserve = EnvNumber("QUILLBOX_DISK_RESERVE_BYTES")) {
    return *reserve;
  }
  struct statvfs info{};
  if (::statvfs(path.c_str(), &info) != 0) {
    return kDiskReserveBytes;
  }
  return std::min(kDiskReserveBytes, uint64_t{info.f_blocks} * info.f_frsize / 20);
}

bool RoomFor(const std::string& path, uint64_t bytes) {
  const std::optional<uint64_t> free = FreeBytes(path);
  if (!free) {
    return true;
  }
  const uint64_t reserve = DiskReserve(path);
  return *free >= reserve && *free - reserve >= bytes;
}

std::string ArchiveRefusal(uint64_t compressed, uint64_t unpacked) {
  if (unpacked > kMaxArchiveBytes) {
    return "its entries would take " + std::to_string(unpacked) + " bytes, more than " +
           std::to_string(kMaxArchiveBytes);
  }
  if (unpacked > kRatioCheckedFrom && unpacked > compressed * kMaxCompressionRatio) {
    return "its entries would take " + std::to_string(unpacked) + " bytes, more than " +
           std::to_string(kMaxCompressionRatio) + " times its own " + std::to_string(compressed);
  }
  return {};
}

size_t RemovePartialFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  size_t removed = 0;
  const std::string_view suffix = kPartialSuffix;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::none, error), end;
       !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (name.size() > suffix.size() && name.ends_with(suffix) &&
        it->is_regular_file(typeError) && fs::remove(it->path(), typeError)) {
      ++removed;
    }
  }
  return removed;
}

}  // namespace qb
