#include "server/Listener.h"

#include <thread>

#include "server/ConnectionListener.h"
#include "util/MutexLock.h"

namespace qb {
namespace {

Mutex g_listenerMutex;
bool g_listenerStarted GUARDED_BY(g_listenerMutex) = false;  // set once, never cleared
std::thread g_listenerThread GUARDED_BY(g_listenerMutex);

}  // namespace

bool StartListener(CAppData& app) {
  MutexLock lock(g_listenerMutex);
  if (g_listenerStarted) {
    return false;
  }
  g_listenerThread = std::thread(TaskThreadProc,
                                 std::make_unique<ConnectionListener>(&app.Tasks()));
  g_listenerStarted = true;
  return true;
}

void JoinListener() {
  std::thread thread;
  {
    MutexLock lock(g_listenerMutex);
    thread.swap(g_listenerThread);
  }
  if (thread.joinable()) {
    thread.join();
  }
}

}  // namespace qb
