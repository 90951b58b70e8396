// The single-instance guard: an exclusive flock on the lock file in the
// runtime folder, held until the process ends.
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
  virtual ~CInstanceLock() = default;

  Result Acquire(const std::string& path);

 private:
  UniqueFd m_file;  // open while the lock is owned
};

}  // namespace qb
