// Holds a Mutex for its scope (std::unique_lock for the analysis), and waits
// on condition variables with it. A predicate that reads guarded members is
// written as a lambda declared REQUIRES(that mutex): it runs with the mutex
// held.
//
// Thread contract: an instance belongs to the thread that made it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "util/Mutex.h"
#include "util/ThreadSafety.h"

namespace qb {

class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_lock(mutex.m_mutex) {}
  ~MutexLock() RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  // Lets the mutex go inside the scope, and takes it back.
  void Unlock() RELEASE() { m_lock.unlock(); }
  void Lock() ACQUIRE() { m_lock.lock(); }

  // Waits on `cv` for one notification (or a spurious wake-up); the mutex is
  // held again on return.
  void Wait(std::condition_variable& cv) { cv.wait(m_lock); }
  // Waits on `cv` until `ready()` holds; the mutex is held again on return.
  template <class Predicate>
  void Wait(std::condition_variable& cv, Predicate ready) {
    cv.wait(m_lock, std::move(ready));
  }
  // Waits on `cv` for at most `timeout`; false when `ready()` still does not
  // hold then.
  template <class Rep, class Period, class Predicate>
  bool WaitFor(std::condition_variable& cv, const std::chrono::duration<Rep, Period>& timeout,
               Predicate ready) {
    return cv.wait_for(m_lock, timeout, std::move(ready));
  }
  // Waits on `cv` for one notification or `timeout`, whichever comes first.
  template <class Rep, class Period>
  void WaitFor(std::condition_variable& cv, const std::chrono::duration<Rep, Period>& timeout) {
    cv.wait_for(m_lock, timeout);
  }

 private:
  std::unique_lock<std::mutex> m_lock;
};

}  // namespace qb
