// What downloads and unpacked archives may put on disk:
//  - one download at most kMaxDownloadBytes;
//  - one unpacked entry at most kMaxEntryBytes, one archive's entries together
//    at most kMaxArchiveBytes, and an archive whose entries would unpack to
//    more than kMaxCompressionRatio times its compressed size (once past
//    kRatioCheckedFrom) is not unpacked;
//  - nothing is written that would leave less than DiskReserve() free on the
//    file system that holds it.
// Files being written get kPartialSuffix on their name and are renamed when
// complete; RemovePartialFiles clears what an interrupted run left.
//
// Thread contract: stateless; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qb {

inline constexpr char kPartialSuffix[] = ".partial";
inline constexpr uint64_t kMaxDownloadBytes = uint64_t{256} * 1024 * 1024;
inline constexpr uint64_t kMaxEntryBytes = uint64_t{256} * 1024 * 1024;
inline constexpr uint64_t kMaxArchiveBytes = uint64_t{512} * 1024 * 1024;
inline constexpr uint64_t kMaxCompressionRatio = 100;
inline constexpr uint64_t kRatioCheckedFrom = uint64_t{16} * 1024 * 1024;
inline constexpr uint64_t kDiskReserveBytes = uint64_t{512} * 1024 * 1024;

// Bytes free for this user on the file system holding `path`; nullopt when
// that cannot be read.
std::optional<uint64_t> FreeBytes(const std::string& path);

// The space kept free on the file system holding `path`: kDiskReserveBytes,
// at most a twentieth of that file system, or the byte count given by the
// environment variable QUILLBOX_DISK_RESERVE_BYTES (for tests).
uint64_t DiskReserve(const std::string& path);

// True when `bytes` more can be written on the file system holding `path`
// and still leave DiskReserve() free (also when the free space is unknown).
bool RoomFor(const std::string& path, uint64_t bytes);

// Whether an archive of `compressed` bytes whose entries declare `unpacked`
// bytes in all may be unpacked; empty when it may, otherwise why not.
std::string ArchiveRefusal(uint64_t compressed, uint64_t unpacked);

// Removes every file whose name ends in kPartialSuffix below `folder`; the
// number removed.
size_t RemovePartialFiles(const std::string& folder);

}  // namespace qb
