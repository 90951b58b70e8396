// The single-instance guard: an exclusive flock on the lock file in the
// runtime folder, held until the process ends. The owner writes its process
// id into the file.
//
// Thread contract: used by the main thread at start-up only.
#pragma once

#include <string>

#include "util/UniqueFd.h"

namespace qb {

class CInstanceLock {
 public:
  enum Result {
    kOwned,        // this process is the instance
    kHeldElsewhere,  // another instance runs
    kUnavailable,  // the lock file cannot be opened or locked (start-up goes on)
  };

  CInstanceLock() = default;
  ~CInstanceLock() = default;

  Result Acquire(const std::string& path);

  // The process id the owner wrote into the lock file at `path`; 0 when
  // there is none.
  static long OwnerPid(const std::string& path);

 private:
  UniqueFd m_file;  // open while the lock is owned
};

}  // namespace qb
