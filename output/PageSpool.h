// The encoded page images of one print session, kept in a temporary file of
// their own instead of in memory: the file is made in the temporary folder
// ($TMPDIR, else /tmp) with mode 0600 and never has a name there (or loses it
// at once where the file system cannot make unnamed files), so that it goes
// away with its descriptor, however the process ends. When no such file can
// be made (no temporary folder, say) the pages are kept in memory instead, as
// the budgets of PrintLimits bound them anyway, so that printing still works.
//
// Thread contract: not synchronised; the owning session guards every call with
// its own mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/Result.h"

namespace qb {

class PageSpool {
 public:
  // Where one stored page lies in the file.
  struct Span {
    uint64_t offset = 0;
    size_t size = 0;
  };

  PageSpool() = default;
  ~PageSpool();
  PageSpool(const PageSpool&) = delete;
  PageSpool& operator=(const PageSpool&) = delete;

  // Writes `bytes` after the pages stored so far (making the file on first
  // use); where they lie, or why they could not be stored (a write to the file
  // failed; nothing is then kept).
  Result<Span> Append(std::string_view bytes);
  // Once after the Append that could not make the file: why, since the pages
  // are kept in memory from then on; empty otherwise.
  std::string TakeMemoryReason();
  // The bytes stored at `span`, or why they cannot be read.
  Result<std::string> Read(const Span& span) const;
  // Closes the file, which frees its space; the next Append makes a new one.
  void Clear();

 private:
  Result<> Open();

  int m_fd = -1;
  uint64_t m_nEnd = 0;  // bytes written so far
  bool m_bInMemory = false;  // no file could be made: the pages are in m_memory
  std::string m_memory;
  std::string m_strMemoryReason;  // not yet taken
};

}  // namespace qb
