#include "util/WriteBytesToFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/StagedFile.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

std::string FolderOf(const std::string& path) {
  const std::string folder = DirectoryPart(path);
  if (!folder.empty()) {
    return folder;
  }
  return path.starts_with("/") ? "/" : ".";
}

// Whether `path` can be replaced by a new file of the same name without the
// user losing anything the old one had: absent, or a plain file of the user's
// with one name, in a folder the user may write in.
bool ReplaceableByRename(const std::string& path) {
  if (::access(FolderOf(path).c_str(), W_OK) != 0) {
    return false;
  }
  struct stat old {};
  if (::lstat(path.c_str(), &old) != 0) {
    return errno == ENOENT;
  }
  return S_ISREG(old.st_mode) && old.st_nlink == 1 && old.st_uid == ::geteuid();
}

bool WriteInPlace(const std::string& path, const char* bytes, size_t count) {
  UniqueFd file(::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644));
  if (!file.Valid()) {
    LogError("cannot write " + path + ": " + std::strerror(errno));
    return false;
  }
  while (count > 0) {
    const ssize_t written = ::write(file.Get(), bytes, count);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written < 0) {
      LogError("writing " + path + " failed: " + std::strerror(errno));
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  if (::close(file.Release()) != 0) {
    LogError("writing " + path + " failed: " + std::strerror(errno));
    return false;
  }
  return true;
}

bool Replace(const std::string& path, const char* bytes, size_t count) {
  Result<StagedFile> staged = StagedFile::Write(FolderOf(path), bytes, count);
  if (!staged) {
    LogError("cannot write " + path + ": " + staged.Error());
    return false;
  }
  if (const Result<> published = staged->PublishReplacing(path); !published) {
    LogError(published.Error());
    return false;
  }
  return true;
}

}  // namespace

bool WriteBytesToFile(const std::string& path, const char* bytes, size_t count) {
  if (path.empty() || bytes == nullptr || count == 0) {
    return false;
  }
  const bool written = ReplaceableByRename(path) ? Replace(path, bytes, count)
                                                 : WriteInPlace(path, bytes, count);
  if (written) {
    LogInfo("saved " + std::to_string(count) + " bytes to " + path);
  }
  return written;
}

}  // namespace qb
