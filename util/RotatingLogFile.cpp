#include "util/RotatingLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/FileHelpers.h"
#include "util/MutexLock.h"

namespace qb {

RotatingLogFile::RotatingLogFile(std::string path, uint64_t maxBytes)
    : m_path(std::move(path)), m_maxBytes(maxBytes) {}

Result<> RotatingLogFile::Open() {
  const std::string folder = DirectoryPart(m_path);
  if (!DirectoryExists(folder) && !CreateDirectories(folder)) {
    return Failure{"cannot create " + folder};
  }
  MutexLock lock(m_mutex);
  return OpenLocked(false);
}

Result<> RotatingLogFile::OpenLocked(bool truncate) {
  m_file.Reset(::open(m_path.c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0600));
  if (!m_file.Valid()) {
    return Failure{"cannot open " + m_path + " (" + std::strerror(errno) + ")"};
  }
  struct stat info {};
  m_size = ::fstat(m_file.Get(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
  return {};
}

void RotatingLogFile::Append(std::string_view line) {
  MutexLock lock(m_mutex);
  if (!m_file.Valid()) {
    return;
  }
  if (m_size > 0 && m_size + line.size() > m_maxBytes) {
    // The rename keeps the older lines whole; a file that cannot be renamed
    // is begun again rather than left to grow.
    std::rename(m_path.c_str(), RotatedPath().c_str());
    if (!OpenLocked(true)) {
      return;
    }
  }
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(m_file.Get(), line.data() + done, line.size() - done);
    if (n <= 0) {
      break;
    }
    done += static_cast<size_t>(n);
  }
  m_size += done;
}

}  // namespace qb
