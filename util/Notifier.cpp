#include "util/Notifier.h"

#include <sys/eventfd.h>

#include "util/MutexLock.h"

namespace qb {

Notifier::Notifier(Mode mode)
    : m_mode(mode), m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void Notifier::Notify() {
  MutexLock lock(m_mutex);
  if (m_fd.Valid()) {
    // Fails only when the counter is full, which leaves it readable too.
    ::eventfd_write(m_fd.Get(), 1);
  }
  for (const auto& [id, callback] : m_callbacks) {
    callback();
  }
}

void Notifier::Clear() {
  if (m_mode == Mode::kOnce || !m_fd.Valid()) {
    return;
  }
  eventfd_t count = 0;
  ::eventfd_read(m_fd.Get(), &count);  // fails when there was nothing to clear
}

size_t Notifier::Subscribe(std::function<void()> callback) {
  MutexLock lock(m_mutex);
  const size_t id = m_nextId++;
  m_callbacks.emplace_back(id, std::move(callback));
  return id;
}

void Notifier::Unsubscribe(size_t id) {
  MutexLock lock(m_mutex);
  std::erase_if(m_callbacks, [id](const auto& entry) { return entry.first == id; });
}

}  // namespace qb
