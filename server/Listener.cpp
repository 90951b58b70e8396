#include "server/Listener.h"

#include <mutex>
#include <thread>

#include "server/CMainTask.h"

namespace qb {
namespace {

std::mutex g_listenerMutex;  // guards the two values below
bool g_listenerStarted = false;  // set once, never cleared
std::thread g_listenerThread;

}  // namespace

bool StartListener(CAppData& app) {
  std::lock_guard lock(g_listenerMutex);
  if (g_listenerStarted) {
    return false;
  }
  g_listenerThread = std::thread(TaskThreadProc,
                                 std::make_unique<CMainTask>(app.m_pTaskMgr.get()));
  g_listenerStarted = true;
  return true;
}

void JoinListener() {
  std::thread thread;
  {
    std::lock_guard lock(g_listenerMutex);
    thread.swap(g_listenerThread);
  }
  if (thread.joinable()) {
    thread.join();
  }
}

}  // namespace qb
