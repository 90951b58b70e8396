#include "server/CMainTask.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "server/CSendTask.h"
#include "server/SendData.h"
#include "util/Log.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

constexpr int kAcceptPollMs = 10;
constexpr int kBindRetryMs = 100;
constexpr int kRelistenPauseMs = 1;

// Errors after which accepting again makes sense: the connection went away
// before it was taken, or the process is briefly out of descriptors or memory
// (closing the listening socket then would drop the connections queued on it).
bool IsTransientAcceptError(int error) {
  switch (error) {
    case EAGAIN:
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      return true;
    default:
      return false;
  }
}

}  // namespace

void CMainTask::Run() {
  bool reportedFailure = false;
  while (!IsStopped()) {
    const int result = Listen();
    if (IsStopped()) {
      break;
    }
    if (result == 1 && !reportedFailure) {
      LogInfo("cannot listen on port " + std::to_string(GetAppData()->m_nPort.load()) + " (" +
              std::strerror(errno) + "); retrying every 100 ms");
    }
    reportedFailure = result == 1;
    Pause(result == 1 ? kBindRetryMs : kRelistenPauseMs);
  }
  m_pool.Shutdown();
}

void CMainTask::Pause(int ms) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!IsStopped() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, kAcceptPollMs)));
  }
}

int CMainTask::Listen() {
  CAppData* app = GetAppData();
  app->m_bRelisten.store(0);
  const uint16_t port = app->GetPort();
  app->m_nPort.store(port);

  const BindAddress address = m_config.Apply(*app, port);
  UniqueFd listener = OpenListener(address, kListenBacklog);
  if (!listener.Valid()) {
    return 1;
  }
  LogInfo(address.text.empty() ? "listening on port " + std::to_string(port)
                               : "listening on " + address.text + " port " + std::to_string(port));

  while (!IsStopped()) {
    const int client = AcceptClient(listener.Get());
    if (client >= 0 && app->m_bStop.load() != 0) {
      ::close(client);  // accepted as the server stops: nobody would serve it
      break;
    }
    if (client >= 0) {
      // Also when a rebind was asked for in the same instant: the connection
      // is already ours and is served.
      m_pool.Post(std::make_unique<CSendTask>(m_pMgr, client));
    }
    if (app->m_bRelisten.load() != 0 || client < 0) {
      break;
    }
  }
  LogDebug("closing the listening socket on port " + std::to_string(port));
  return 0;
}

int CMainTask::AcceptClient(int listenSocket) {
  const CAppData* app = GetAppData();
  for (;;) {
    if (app->m_bStop.load() != 0 || app->m_bRelisten.load() != 0) {
      return -1;
    }
    if (!m_pool.WaitForCapacity(std::chrono::milliseconds(kAcceptPollMs))) {
      continue;  // every worker is busy: leave the connection in the backlog
    }
    const int client = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client >= 0) {
      return client;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Nothing pending: wait for the next connection, at most one poll period.
      pollfd pfd{listenSocket, POLLIN, 0};
      ::poll(&pfd, 1, kAcceptPollMs);
      continue;
    }
    if (!IsTransientAcceptError(errno)) {
      LogError(std::string("accept failed: ") + std::strerror(errno));
      return -1;
    }
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      Pause(kAcceptPollMs);
    }
  }
}

}  // namespace qb
