// Compiled by CheckThreadSafety.cmake once per PROBE_CASE: case 0 is the
// proper use of the annotated mutex and must compile; every other case is one
// misuse that -Wthread-safety must reject.
#include <condition_variable>

#include "util/MutexLock.h"

namespace {

class Counter {
 public:
  void Proper() {
    qb::MutexLock lock(m_mutex);
    lock.Wait(m_changed, [this]() REQUIRES(m_mutex) { return m_value >= 0; });
    ++m_value;
    Bump();
    lock.Unlock();
    lock.Lock();
    (void)lock.WaitFor(m_changed, std::chrono::milliseconds(1),
                       [this]() REQUIRES(m_mutex) { return m_value > 0; });
  }

#if PROBE_CASE == 1
  int UnguardedRead() { return m_value; }
#elif PROBE_CASE == 2
  void UnguardedWrite() { m_value = 1; }
#elif PROBE_CASE == 3
  void CallWithoutLock() { Bump(); }
#elif PROBE_CASE == 4
  int ReadAfterUnlock() {
    qb::MutexLock lock(m_mutex);
    lock.Unlock();
    return m_value;
  }
#elif PROBE_CASE == 5
  void PredicateWithoutRequires() {
    qb::MutexLock lock(m_mutex);
    lock.Wait(m_changed, [this] { return m_value > 0; });
  }
#elif PROBE_CASE == 6
  void TakenTwice() {
    qb::MutexLock lock(m_mutex);
    qb::MutexLock again(m_mutex);
  }
#endif

 private:
  void Bump() REQUIRES(m_mutex) { ++m_value; }

  qb::Mutex m_mutex;
  std::condition_variable m_changed;
  int m_value GUARDED_BY(m_mutex) = 0;
};

}  // namespace

int main() {
  Counter counter;
  counter.Proper();
  return 0;
}
