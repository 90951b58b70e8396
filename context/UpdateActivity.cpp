#include "context/UpdateActivity.h"

#include "update/UpdateRun.h"
#include "util/MutexLock.h"

namespace qb {

void UpdateActivity::SetListener(Listener listener) {
  MutexLock lock(m_listenerMutex);
  m_listener = std::move(listener);
}

void UpdateActivity::Run(CatalogueSchema& definitions, DownloadQueue& queue) {
  Count(+1);
  RunUpdate(definitions, queue);
  Count(-1);
}

void UpdateActivity::Count(int step) {
  // Counted and told under one lock, so that the listener hears the starts
  // and ends in the order they happened.
  MutexLock lock(m_listenerMutex);
  const int before = m_nRunning.fetch_add(step);
  const bool changed = step > 0 ? before == 0 : before == 1;
  if (changed && m_listener) {
    m_listener(step > 0);
  }
}

}  // namespace qb
