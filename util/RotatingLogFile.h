// The server's own log file, kept when no journal takes its standard error:
// lines are appended whole; once the file would pass its size bound it is
// renamed to "<path>.1" (replacing the older one) and a new file is begun, so
// the two together never hold more than twice the bound (a single line longer
// than the bound is still written whole, into a file of its own).
//
// Thread contract: Append may be called from any thread at any time; lines
// are written one at a time under the object's mutex. Open is called once,
// before Append is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/Mutex.h"
#include "util/Result.h"
#include "util/ThreadSafety.h"
#include "util/UniqueFd.h"

namespace qb {

class RotatingLogFile {
 public:
  RotatingLogFile(std::string path, uint64_t maxBytes);
  RotatingLogFile(const RotatingLogFile&) = delete;
  RotatingLogFile& operator=(const RotatingLogFile&) = delete;

  // Creates the missing folders and opens the file for appending (mode 0600,
  // as lines name the user's files and sites); fails with the reason.
  Result<> Open();
  // Appends `line` (which ends with a line break), rotating first when it
  // would take the file past the bound. A line that cannot be written is
  // dropped: logging never fails its caller.
  void Append(std::string_view line);
  const std::string& Path() const { return m_path; }
  std::string RotatedPath() const { return m_path + ".1"; }

 private:
  Result<> OpenLocked(bool truncate) REQUIRES(m_mutex);

  const std::string m_path;
  const uint64_t m_maxBytes;
  Mutex m_mutex;
  UniqueFd m_file GUARDED_BY(m_mutex);
  uint64_t m_size GUARDED_BY(m_mutex) = 0;  // bytes in the current file
};

}  // namespace qb
