#include "util/Unzip.h"

#include <minizip/unzip.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "util/DiskBudget.h"
#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/SafePath.h"
#include "util/ServedFiles.h"
#include "util/Text.h"

namespace qb {
namespace {

struct ArchiveCloser {
  void operator()(void* archive) const { unzClose(archive); }
};
using Archive = std::unique_ptr<void, ArchiveCloser>;

// True when the stored name may be unpacked: relative and without "..".
bool AcceptableName(const std::string& name) {
  if (name.empty() || name.starts_with('/') || name.starts_with('\\')) {
    return false;
  }
  std::string slashed = name;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  for (const std::string& component : Split(slashed, "/")) {
    if (component == "..") {
      return false;
    }
  }
  return true;
}

enum class EntryResult { kWritten, kSkipped, kFailed };

// Free space is looked at again after this many bytes of an archive.
constexpr uint64_t kRoomCheckBytes = 4 * 1024 * 1024;

// Bytes written so far for one archive.
struct Written {
  uint64_t total = 0;
  uint64_t nextRoomCheck = kRoomCheckBytes;
};

// Why `more` bytes may not be added to an entry of `entryBytes` written so far
// (declared to unpack to `declared`); empty when they may.
std::string GrowthRefusal(uint64_t entryBytes, uint64_t more, uint64_t declared,
                          const std::string& folder, Written* written) {
  if (entryBytes + more > declared) {
    return "it unpacks to more than the " + std::to_string(declared) + " bytes it declares";
  }
  if (entryBytes + more > kMaxEntryBytes) {
    return "it unpacks to more than " + std::to_string(kMaxEntryBytes) + " bytes";
  }
  if (written->total + more > kMaxArchiveBytes) {
    return "the archive unpacks to more than " + std::to_string(kMaxArchiveBytes) + " bytes";
  }
  written->total += more;
  if (written->total >= written->nextRoomCheck) {
    written->nextRoomCheck = written->total + kRoomCheckBytes;
    if (!RoomFor(folder, 0)) {
      return "less than " + std::to_string(DiskReserve(folder)) + " bytes would stay free";
    }
  }
  return {};
}

// Copies the current (opened) entry to `partial` (kWritten: complete, not yet
// checked; otherwise nothing is left).
EntryResult CopyEntry(unzFile archive, const std::string& partial, const std::string& target,
                      uint64_t declared, const std::string& folder, Written* written) {
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(partial.c_str(), "wb"), &std::fclose);
  if (!out) {
    LogError("cannot write archive entry " + target);
    return EntryResult::kFailed;
  }
  std::vector<char> buffer(4096);
  uint64_t entryBytes = 0;
  for (;;) {
    const int count = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (count == 0) {
      if (std::fclose(out.release()) == 0) {
        return EntryResult::kWritten;
      }
      std::remove(partial.c_str());
      LogError("cannot complete archive entry " + target);
      return EntryResult::kFailed;
    }
    std::string refusal;
    if (count > 0) {
      refusal = GrowthRefusal(entryBytes, static_cast<uint64_t>(count), declared, folder, written);
    }
    if (count < 0 || !refusal.empty() ||
        std::fwrite(buffer.data(), 1, static_cast<size_t>(count), out.get()) != static_cast<size_t>(count)) {
      out.reset();
      std::remove(partial.c_str());
      if (!refusal.empty()) {
        LogInfo("archive entry " + target + " refused: " + refusal);
      } else {
        LogError("cannot read or write archive entry " + target);
      }
      return EntryResult::kFailed;
    }
    entryBytes += static_cast<uint64_t>(count);
  }
}

// Why the archive at `path` may not be unpacked into `folder`, from the sizes
// its entries declare; empty when it may.
std::string UnpackRefusal(unzFile archive, const std::string& path, const std::string& folder) {
  uint64_t unpacked = 0;
  for (int rc = unzGoToFirstFile(archive); rc == UNZ_OK; rc = unzGoToNextFile(archive)) {
    unz_file_info info{};
    if (unzGetCurrentFileInfo(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK) {
      unpacked += info.uncompressed_size;
    }
  }
  struct stat file{};
  const uint64_t compressed = ::stat(path.c_str(), &file) == 0 ? static_cast<uint64_t>(file.st_size) : 0;
  std::string refusal = ArchiveRefusal(compressed, unpacked);
  if (refusal.empty() && !RoomFor(folder, unpacked)) {
    refusal = "its " + std::to_string(unpacked) + " bytes would leave less than " +
              std::to_string(DiskReserve(folder)) + " bytes free";
  }
  return refusal;
}

EntryResult UnpackCurrent(unzFile archive, const std::string& folder, Written* written) {
  char nameBuffer[4096];
  unz_file_info info{};
  if (unzGetCurrentFileInfo(archive, &info, nameBuffer, sizeof nameBuffer, nullptr, 0, nullptr,
                            0) != UNZ_OK) {
    return EntryResult::kFailed;
  }
  // minizip leaves a name that fills the buffer without its terminating zero.
  // Such a name is longer than any path the file system takes.
  if (info.size_filename >= sizeof nameBuffer) {
    LogError("skipped archive entry with a name of " + std::to_string(info.size_filename) +
             " bytes");
    return EntryResult::kSkipped;
  }
  const std::string name(nameBuffer);
  if (!AcceptableName(name)) {
    LogError("skipped archive entry with an unsafe name: " + name);
    return EntryResult::kSkipped;
  }
  if (const std::string refusal = ServedFolderRefusal(name); !refusal.empty()) {
    LogError("skipped archive entry " + name + ": " + refusal);
    return EntryResult::kSkipped;
  }
  if (const std::string refusal = name.ends_with('/') ? std::string() : ServedFileRefusal(name);
      !refusal.empty()) {
    // A file of a kind the catalogue never places (a folder's thumbnail
    // cache, say): harmless, and left out.
    LogInfo("skipped archive entry " + name + ": " + refusal);
    return EntryResult::kSkipped;
  }
  const std::optional<std::string> target = ResolveInsideFolder(folder, name);
  if (!target) {
    LogError("skipped archive entry outside its folder: " + name);
    return EntryResult::kSkipped;
  }
  if (name.ends_with('/')) {
    if (!DirectoryExists(*target)) {
      CreateDirectories(*target);
    }
    return EntryResult::kSkipped;
  }
  const std::string parent = DirectoryPart(*target);
  if (!DirectoryExists(parent)) {
    CreateDirectories(parent);
  }
  if (unzOpenCurrentFile(archive) != UNZ_OK) {
    return EntryResult::kFailed;
  }
  const std::string partial = *target + kPartialSuffix;
  const EntryResult result =
      CopyEntry(archive, partial, *target, info.uncompressed_size, folder, written);
  const bool checksumFailed = unzCloseCurrentFile(archive) == UNZ_CRCERROR;
  if (result != EntryResult::kWritten) {
    return result;
  }
  if (checksumFailed) {
    std::remove(partial.c_str());
    LogError("archive entry fails its checksum: " + name);
    return EntryResult::kFailed;
  }
  if (std::rename(partial.c_str(), target->c_str()) != 0) {
    std::remove(partial.c_str());
    LogError("cannot complete archive entry " + *target);
    return EntryResult::kFailed;
  }
  return EntryResult::kWritten;
}

}  // namespace

Result<> Unzip(const std::string& archivePath) {
  Archive archive(unzOpen(archivePath.c_str()));
  if (!archive) {
    return Failure{"not a readable ZIP archive"};
  }
  // An archive without a folder part sits in the current directory or in "/".
  const std::string part = DirectoryPart(archivePath);
  const std::string folder =
      !part.empty() ? part : std::string(archivePath.starts_with('/') ? "/" : ".");
  if (const std::string refusal = UnpackRefusal(archive.get(), archivePath, folder);
      !refusal.empty()) {
    return Failure{refusal};
  }
  int rc = unzGoToFirstFile(archive.get());
  if (rc != UNZ_OK) {
    return Failure{"it holds no entry"};
  }
  Written written;
  while (rc == UNZ_OK) {
    if (UnpackCurrent(archive.get(), folder, &written) == EntryResult::kFailed) {
      return Failure{"it ends early: an entry cannot be read"};
    }
    rc = unzGoToNextFile(archive.get());
  }
  if (rc != UNZ_END_OF_LIST_OF_FILE) {
    return Failure{"its list of entries is damaged"};
  }
  return {};
}

namespace {

constexpr std::string_view kStampSuffix = ".unpacked";

}  // namespace

std::string UnpackedStampPath(const std::string& archive) {
  const size_t slash = archive.rfind('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  return archive.substr(0, name) + "." + archive.substr(name) + std::string(kStampSuffix);
}

bool IsUnpackedStampName(std::string_view name) {
  return name.starts_with('.') && AsciiLower(name).ends_with(".zip.unpacked");
}

}  // namespace qb
