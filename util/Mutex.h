// A std::mutex that Clang's thread-safety analysis knows as a capability, so
// that members declared GUARDED_BY it are checked at compile time. Take it
// with MutexLock (util/MutexLock.h); Lock and Unlock are for the rare caller
// that cannot use a scope.
//
// Thread contract: like std::mutex; not recursive.
#pragma once

#include <mutex>

#include "util/ThreadSafety.h"

namespace qb {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { m_mutex.lock(); }
  void Unlock() RELEASE() { m_mutex.unlock(); }

 private:
  friend class MutexLock;
  std::mutex m_mutex;
};

}  // namespace qb
