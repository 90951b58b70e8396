#include "util/WriteBytesToFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/Log.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

// Writes everything to `fd`; false on the first error (errno is kept).
bool WriteAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

enum class WriteResult { kWritten, kExists, kNotOpened, kFailed };

WriteResult WriteWithFlags(const std::string& path, const char* bytes, size_t count, int flags) {
  UniqueFd file(::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644));
  if (!file.Valid()) {
    if (errno == EEXIST) {
      return WriteResult::kExists;
    }
    LogError("cannot write " + path + ": " + std::strerror(errno));
    return WriteResult::kNotOpened;
  }
  const bool written = WriteAll(file.Get(), bytes, count);
  const int error = errno;
  if (::close(file.Release()) != 0 || !written) {
    LogError("writing " + path + " failed: " + std::strerror(written ? errno : error));
    return WriteResult::kFailed;
  }
  return WriteResult::kWritten;
}

}  // namespace

bool WriteBytesToFile(const std::string& path, const char* bytes, size_t count) {
  if (path.empty() || bytes == nullptr || count == 0) {
    return false;
  }
  if (WriteWithFlags(path, bytes, count, O_CREAT | O_TRUNC) != WriteResult::kWritten) {
    return false;
  }
  LogInfo("saved " + std::to_string(count) + " bytes to " + path);
  return true;
}

NewFileResult WriteNewFile(const std::string& path, const char* bytes, size_t count) {
  if (path.empty() || bytes == nullptr || count == 0) {
    return NewFileResult::kFailed;
  }
  const WriteResult result = WriteWithFlags(path, bytes, count, O_CREAT | O_EXCL);
  if (result == WriteResult::kFailed) {
    ::unlink(path.c_str());  // the file is ours: it did not exist before
  }
  if (result == WriteResult::kExists) {
    return NewFileResult::kExists;
  }
  if (result != WriteResult::kWritten) {
    return NewFileResult::kFailed;
  }
  LogInfo("saved " + std::to_string(count) + " bytes to " + path);
  return NewFileResult::kWritten;
}

}  // namespace qb
