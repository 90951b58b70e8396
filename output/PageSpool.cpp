#include "output/PageSpool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace qb {
namespace {

std::string TempFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? std::string(folder) : std::string("/tmp");
}

std::string ErrnoText(int error) { return std::strerror(error); }

}  // namespace

PageSpool::~PageSpool() { Clear(); }

Result<> PageSpool::Open() {
  const std::string folder = TempFolder();
  m_fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without unnamed files: a private name, dropped at once.
    std::string name = folder + "/quillbox-pages-XXXXXX";
    std::vector<char> path(name.begin(), name.end());
    path.push_back('\0');
    m_fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (m_fd >= 0) {
      ::unlink(path.data());
    }
  }
  if (m_fd < 0) {
    return Failure{"cannot make a file for the pages in " + folder + ": " + ErrnoText(errno)};
  }
  m_nEnd = 0;
  return {};
}

Result<PageSpool::Span> PageSpool::Append(std::string_view bytes) {
  if (m_fd < 0 && !m_bInMemory) {
    if (const Result<> opened = Open(); !opened) {
      m_bInMemory = true;
      m_strMemoryReason = opened.Error();
    }
  }
  const Span span{m_nEnd, bytes.size()};
  if (m_bInMemory) {
    try {
      m_memory.append(bytes);
    } catch (const std::bad_alloc&) {
      return Failure{"out of memory"};
    }
    m_nEnd += bytes.size();
    return span;
  }
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::pwrite(m_fd, bytes.data() + written, bytes.size() - written,
                               static_cast<off_t>(span.offset + written));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      // What was written of this page gives its space back; should that fail
      // the file only stays longer than its pages.
      [[maybe_unused]] const int truncated = ::ftruncate(m_fd, static_cast<off_t>(span.offset));
      return Failure{"cannot store the page: " + ErrnoText(error)};
    }
    written += static_cast<size_t>(n);
  }
  m_nEnd += bytes.size();
  return span;
}

std::string PageSpool::TakeMemoryReason() { return std::exchange(m_strMemoryReason, {}); }

Result<std::string> PageSpool::Read(const Span& span) const {
  if ((m_fd < 0 && !m_bInMemory) || span.offset + span.size > m_nEnd) {
    return Failure{"no such stored page"};
  }
  if (m_bInMemory) {
    return m_memory.substr(static_cast<size_t>(span.offset), span.size);
  }
  std::string bytes(span.size, '\0');
  size_t done = 0;
  while (done < span.size) {
    const ssize_t n = ::pread(m_fd, bytes.data() + done, span.size - done,
                              static_cast<off_t>(span.offset + done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return Failure{"cannot read the stored page: " +
                     (n < 0 ? ErrnoText(errno) : std::string("the file is shorter"))};
    }
    done += static_cast<size_t>(n);
  }
  return bytes;
}

void PageSpool::Clear() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  m_bInMemory = false;
  std::string().swap(m_memory);
  m_strMemoryReason.clear();
  m_nEnd = 0;
}

}  // namespace qb
