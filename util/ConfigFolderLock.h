// An exclusive lock on the folder of the user's configuration file, held by
// every writer that reads, changes and rewrites that file (site answers, the
// command line, the printer remembered per sheet), so that two writers in one
// process or in two processes never lose each other's change.
//
// Thread contract: a lock object belongs to the thread that took it; taking
// blocks until every other holder has let go. Writers must not take it twice
// on one thread (flock locks are per open file, so a second Take would wait
// for the first).
#pragma once

#include <string>

#include "util/Result.h"
#include "util/UniqueFd.h"

namespace qb {

class ConfigFolderLock {
 public:
  // Locks the folder holding `file`, creating the folder when it is missing.
  static Result<ConfigFolderLock> Take(const std::string& file);

 private:
  UniqueFd m_fd;  // closing it releases the lock
};

}  // namespace qb
