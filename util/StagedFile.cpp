#include "util/StagedFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "util/Log.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

constexpr int kNameAttempts = 100;

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

// A hidden name no other writer in this process picks, and unlikely to be
// picked by another process; the exclusive create settles the rest.
std::string HiddenName(int attempt) {
  static std::atomic<unsigned> counter{0};
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const unsigned long mixed = static_cast<unsigned long>(now.tv_nsec) ^
                              (static_cast<unsigned long>(::getpid()) << 20) ^
                              (static_cast<unsigned long>(attempt) << 12);
  return ".quillbox-" + std::to_string(mixed % 1000000007UL) + "-" +
         std::to_string(counter.fetch_add(1)) + ".part";
}

}  // namespace

Result<StagedFile> StagedFile::Write(const std::string& folder, const char* bytes, size_t count) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string path = folder + "/" + HiddenName(attempt);
    // 0644 before the user's umask, as for any file the user saves.
    UniqueFd file(::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644));
    if (!file.Valid()) {
      if (errno == EEXIST) {
        continue;
      }
      return Failure{"cannot write in " + folder + ": " + std::strerror(errno)};
    }
    StagedFile staged(path);  // removes the file again on any failure below
    if (!WriteAll(file.Get(), bytes, count) || ::fsync(file.Get()) != 0) {
      return Failure{"writing in " + folder + " failed: " + std::strerror(errno)};
    }
    if (::close(file.Release()) != 0) {
      return Failure{"writing in " + folder + " failed: " + std::strerror(errno)};
    }
    return staged;
  }
  return Failure{"no free temporary name in " + folder};
}

StagedFile::StagedFile(StagedFile&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}

StagedFile::~StagedFile() {
  if (!m_path.empty()) {
    ::unlink(m_path.c_str());
  }
}

NewFileResult StagedFile::PublishNew(const std::string& path) {
  if (m_path.empty()) {
    return NewFileResult::kFailed;
  }
  if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
    m_path.clear();
    return NewFileResult::kWritten;
  }
  if (errno == EEXIST) {
    return NewFileResult::kExists;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    LogError("cannot save " + path + ": " + std::strerror(errno));
    return NewFileResult::kFailed;
  }
  // A file system without an exclusive rename: claim the name with an
  // exclusive create, then move the whole file over the empty claim.
  UniqueFd claim(::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644));
  if (!claim.Valid()) {
    if (errno == EEXIST) {
      return NewFileResult::kExists;
    }
    LogError("cannot save " + path + ": " + std::strerror(errno));
    return NewFileResult::kFailed;
  }
  claim.Reset();
  if (::rename(m_path.c_str(), path.c_str()) != 0) {
    LogError("cannot save " + path + ": " + std::strerror(errno));
    ::unlink(path.c_str());  // the empty claim is ours
    return NewFileResult::kFailed;
  }
  m_path.clear();
  return NewFileResult::kWritten;
}

Result<> StagedFile::PublishReplacing(const std::string& path) {
  if (m_path.empty()) {
    return Failure{"nothing staged for " + path};
  }
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    ::chmod(m_path.c_str(), old.st_mode & 07777);
  }
  if (::rename(m_path.c_str(), path.c_str()) != 0) {
    return Failure{"cannot save " + path + ": " + std::strerror(errno)};
  }
  m_path.clear();
  return {};
}

}  // namespace qb
