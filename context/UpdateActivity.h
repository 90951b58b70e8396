// The one way a catalogue update run is started, by the UPDATE_DB route and by
// the status window and tray icon alike: Run calls RunUpdate (which keeps runs
// apart) and tells a listener when the first caller starts and the last one
// ends, so that the window and the tray can show "updating" without looking
// for it.
//
// Thread contract: Run may be called from any thread and blocks for the run.
// SetListener may be called from any thread; the listener is called with the
// listener mutex held on the thread of the run, so it must only post (never
// block, never call back in); once SetListener(nullptr) returns the old
// listener is not called again. Running() reads an atomic.
#pragma once

#include <atomic>
#include <functional>

#include "util/Mutex.h"
#include "util/ThreadSafety.h"

namespace qb {

class DownloadQueue;
class CatalogueSchema;

class UpdateActivity {
 public:
  // Called with true when a run starts while none ran, with false when the
  // last one ends.
  using Listener = std::function<void(bool running)>;

  void SetListener(Listener listener);
  // Runs the catalogue update as UPDATE_DB does (see update/UpdateRun.h).
  void Run(CatalogueSchema& definitions, DownloadQueue& queue);
  // True while some caller is inside Run.
  bool Running() const { return m_nRunning.load() > 0; }

 private:
  // Adds `step` to the callers inside Run; tells the listener when that
  // starts or ends a busy spell.
  void Count(int step);

  std::atomic<int> m_nRunning{0};  // changed under m_listenerMutex, read without
  Mutex m_listenerMutex;
  Listener m_listener GUARDED_BY(m_listenerMutex);
};

}  // namespace qb
