// Wakes the threads that wait for an event, so that none of them has to look
// now and then: a poll or epoll loop watches Fd(), which is readable from
// Notify() until Clear(); a thread that waits on a condition variable
// subscribes a callback, which Notify() runs.
//
// A kOnce notifier stands for an event that happens for good (the server
// stops): Clear() leaves it readable, so any number of loops may watch its
// descriptor. A kRepeating one (a rebind is asked for) is cleared by the one
// loop that watches it, before that loop looks at what changed, so that an
// event notified after the look is not missed.
//
// Thread contract: every operation may be called from any thread. Callbacks
// run on the notifying thread, one notification at a time, under the
// notifier's lock: a callback must not call the notifier, and Unsubscribe
// must not be called while holding a lock that a callback takes. Once
// Unsubscribe has returned, that callback does not run any more.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "util/Mutex.h"
#include "util/UniqueFd.h"

namespace qb {

class Notifier {
 public:
  enum class Mode { kRepeating, kOnce };

  explicit Notifier(Mode mode = Mode::kRepeating);
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  // The descriptor to watch for reading; -1 when none could be made (the
  // process is out of descriptors), and then a waiter has to look now and
  // then instead.
  int Fd() const { return m_fd.Get(); }
  bool Valid() const { return m_fd.Valid(); }

  // Makes Fd() readable and runs every callback.
  void Notify();
  // Makes Fd() unreadable until the next Notify (kRepeating only).
  void Clear();

  // Runs `callback` at every Notify from now on. Returns the number that
  // Unsubscribe takes.
  size_t Subscribe(std::function<void()> callback);
  void Unsubscribe(size_t id);

 private:
  const Mode m_mode;
  UniqueFd m_fd;  // an eventfd
  Mutex m_mutex;  // also held while the callbacks run
  std::vector<std::pair<size_t, std::function<void()>>> m_callbacks GUARDED_BY(m_mutex);
  size_t m_nextId GUARDED_BY(m_mutex) = 1;
};

}  // namespace qb
