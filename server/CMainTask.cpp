#include "server/CMainTask.h"

#include <arpa/inet.h>
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

using Clock = std::chrono::steady_clock;

constexpr int kAcceptPollMs = 10;
constexpr int kBindRetryMs = 100;
constexpr int kRelistenPauseMs = 1;
// Connections taken from the backlog per wake-up before the waiting ones are
// read again.
constexpr int kAcceptsPerWake = 64;
// Reaching the connection bound is logged at most this often.
constexpr std::chrono::seconds kBoundReportInterval{60};
// At a bound, a connection whose sender has been silent this long gives way
// to a new one.
constexpr std::chrono::milliseconds kEvictIdle{100};

// The peer's address as text (without the port); empty when unknown.
std::string PeerAddress(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    return ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text) != nullptr ? text : "";
  }
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    return ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text) != nullptr ? text : "";
  }
  return {};
}

// True when `listenSocket` has a connection waiting in its backlog.
bool BacklogWaiting(int listenSocket) {
  pollfd watched{.fd = listenSocket, .events = POLLIN, .revents = 0};
  return ::poll(&watched, 1, 0) > 0 && (watched.revents & POLLIN) != 0;
}

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

CMainTask::CMainTask(CTaskMgr* mgr)
    : CTaskBase(mgr),
      m_limits(OpenConnectionBound(), kMaxConnections),
      m_pool(kMaxConnections),
      m_pending([this](int socket, RequestReceiver::Outcome outcome, std::string request,
                       ConnectionLimits::Ticket ticket) {
        OnRequestDone(socket, outcome, std::move(request), std::move(ticket));
      }) {}

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
  m_pending.CloseAll();
  m_pool.Shutdown();
}

void CMainTask::Pause(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!IsStopped()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) {
      break;
    }
    m_pending.Poll(-1, static_cast<int>(std::min<int64_t>(left, kAcceptPollMs)));
  }
}

int CMainTask::Listen() {
  CAppData* app = GetAppData();
  app->m_bRelisten.store(0);
  const uint16_t port = app->GetPort();
  app->m_nPort.store(port);
  if (!m_pending.Valid()) {
    return 1;
  }

  const BindAddress address = m_config.Apply(*app, port);
  UniqueFd listener = OpenListener(address, kListenBacklog);
  if (!listener.Valid()) {
    return 1;
  }
  LogInfo(address.text.empty() ? "listening on port " + std::to_string(port)
                               : "listening on " + address.text + " port " + std::to_string(port));
  app->SetListening((address.text.empty() ? std::string("0.0.0.0") : address.text) + " port " +
                    std::to_string(port));

  while (!IsStopped()) {
    // At the bound, or out of descriptors, the listening socket is not
    // watched: new connections wait in the backlog.
    bool canOpen = m_limits.CanOpen();
    if (!canOpen) {
      ReportBound();
      // A connection that waits gives way to one in the backlog, so that
      // slow senders cannot keep every other client out.
      canOpen = BacklogWaiting(listener.Get()) &&
                m_pending.EvictIdlest(nullptr, Clock::now() - kEvictIdle) && m_limits.CanOpen();
    }
    const bool accepting = canOpen && Clock::now() >= m_acceptResumes;
    const bool ready = m_pending.Poll(accepting ? listener.Get() : -1, kAcceptPollMs);
    if (IsStopped()) {
      break;
    }
    // Also when a rebind was asked for in the same instant: the connections
    // already waiting are taken and served.
    if (ready && !AcceptClients(listener.Get())) {
      break;
    }
    if (app->m_bRelisten.load() != 0) {
      break;
    }
  }
  m_pending.WatchListener(-1);
  app->SetListening({});
  LogDebug("closing the listening socket on port " + std::to_string(port));
  return 0;
}

bool CMainTask::AcceptClients(int listenSocket) {
  const CAppData* app = GetAppData();
  for (int i = 0; i < kAcceptsPerWake; ++i) {
    ConnectionLimits::Ticket ticket = m_limits.TryOpen();
    if (!ticket.Valid()) {
      return true;  // at the bound: the rest stay in the backlog
    }
    sockaddr_storage address{};
    socklen_t addressLength = sizeof address;
    const int client = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&address),
                                 &addressLength, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client >= 0) {
      if (app->m_bStop.load() != 0) {
        ::close(client);  // accepted as the server stops: nobody would serve it
        return true;
      }
      const auto now = Clock::now();
      std::string peer = PeerAddress(address);
      // A peer at its bound is one no ordinary client reaches: its idlest
      // waiting connection gives way however briefly it has been silent.
      if (!ticket.SetPeer(peer) &&
          !(m_pending.EvictIdlest(&peer, now) && ticket.SetPeer(peer))) {
        m_pending.NoteRefusal("too many connections from " + peer, now);
        ::close(client);
        continue;
      }
      m_pending.Add(client, std::move(ticket), now, std::move(peer));
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return true;
    }
    if (!IsTransientAcceptError(errno)) {
      LogError(std::string("accept failed: ") + std::strerror(errno));
      return false;
    }
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      m_acceptResumes = Clock::now() + std::chrono::milliseconds(kAcceptPollMs);
      return true;
    }
  }
  return true;
}

void CMainTask::ReportBound() {
  const auto now = Clock::now();
  if (m_boundReported != Clock::time_point() && now - m_boundReported < kBoundReportInterval) {
    return;
  }
  m_boundReported = now;
  LogInfo("open connections at their bound of " + std::to_string(m_limits.MaxOpen()) +
          "; new connections wait in the listen backlog");
}

void CMainTask::OnRequestDone(int socket, RequestReceiver::Outcome outcome, std::string request,
                              ConnectionLimits::Ticket ticket) {
  if (outcome != RequestReceiver::Outcome::kComplete &&
      outcome != RequestReceiver::Outcome::kTooLarge) {
    CloseConnection(socket, 0);  // nothing usable: no answer
    return;
  }
  m_pool.Post(std::make_unique<CSendTask>(m_pMgr, socket, outcome, std::move(request),
                                          std::move(ticket)));
}

}  // namespace qb
