#include "util/Unzip.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "util/FileHelpers.h"
#include "util/Log.h"
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

// Copies the current (opened) entry to `target`.
EntryResult CopyEntry(unzFile archive, const std::string& target) {
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(target.c_str(), "wb"), &std::fclose);
  if (!out) {
    LogError("cannot write archive entry " + target);
    return EntryResult::kSkipped;
  }
  std::vector<char> buffer(4096);
  for (;;) {
    const int count = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (count == 0) {
      return EntryResult::kWritten;
    }
    if (count < 0 ||
        std::fwrite(buffer.data(), 1, static_cast<size_t>(count), out.get()) != static_cast<size_t>(count)) {
      out.reset();
      std::remove(target.c_str());
      LogError("cannot read or write archive entry " + target);
      return EntryResult::kFailed;
    }
  }
}

EntryResult UnpackCurrent(unzFile archive, const std::string& folder) {
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
  const std::string refusal =
      name.ends_with('/') ? ServedFolderRefusal(name) : ServedFileRefusal(name);
  if (!refusal.empty()) {
    LogError("skipped archive entry " + name + ": " + refusal);
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
  const EntryResult result = CopyEntry(archive, *target);
  if (unzCloseCurrentFile(archive) == UNZ_CRCERROR && result == EntryResult::kWritten) {
    std::remove(target->c_str());
    LogError("archive entry fails its checksum: " + name);
    return EntryResult::kFailed;
  }
  return result;
}

}  // namespace

int Unzip(const std::string& archivePath) {
  Archive archive(unzOpen(archivePath.c_str()));
  if (!archive) {
    LogError("cannot open archive " + archivePath);
    return 1;
  }
  // An archive without a folder part sits in the current directory or in "/".
  const std::string part = DirectoryPart(archivePath);
  const std::string folder =
      !part.empty() ? part : std::string(archivePath.starts_with('/') ? "/" : ".");
  int rc = unzGoToFirstFile(archive.get());
  if (rc != UNZ_OK) {
    return 1;
  }
  while (rc == UNZ_OK) {
    if (UnpackCurrent(archive.get(), folder) == EntryResult::kFailed) {
      LogError("archive " + archivePath + " ends early: an entry cannot be read");
      return 1;
    }
    rc = unzGoToNextFile(archive.get());
  }
  return rc == UNZ_END_OF_LIST_OF_FILE ? 0 : 1;
}

}  // namespace qb
