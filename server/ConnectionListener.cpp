#include "server/ConnectionListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

#include "context/SiteList.h"
#include "net/BrokerMessages.h"
#include "net/ListeningSocket.h"
#include "server/BrowserGuard.h"
#include "server/CSendTask.h"
#include "server/RefusalLog.h"
#include "server/SendData.h"
#include "util/Log.h"
#include "util/UniqueFd.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

using Clock = std::chrono::steady_clock;

// The pause after running out of descriptors, and the longest wait when a
// notifier cannot be watched.
constexpr int kAcceptPollMs = 10;
constexpr int kBindRetryMs = 100;
constexpr int kRelistenPauseMs = 1;
// Connections taken from the backlog per wake-up before the waiting ones are
// read again.
constexpr size_t kAcceptsPerWake = 64;
// Connections taken from the broker in one call.
constexpr size_t kHandedPerTake = 16;
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
bool BacklogWaiting(const std::vector<int>& listenSockets) {
  std::vector<pollfd> watched;
  for (const int socket : listenSockets) {
    watched.push_back({.fd = socket, .events = POLLIN, .revents = 0});
  }
  if (::poll(watched.data(), watched.size(), 0) <= 0) {
    return false;
  }
  return std::any_of(watched.begin(), watched.end(),
                     [](const pollfd& one) { return (one.revents & POLLIN) != 0; });
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

// The local end of `socket`; for a listening socket bound to a wildcard
// address nullopt, since connections arrive at different addresses.
std::optional<Endpoint> LocalEnd(int socket) {
  std::optional<Endpoint> end = Endpoint::LocalOf(socket);
  return end && !end->IsWildcard() ? end : std::nullopt;
}

}  // namespace

ConnectionListener::ConnectionListener(CTaskMgr* mgr)
    : CTaskBase(mgr),
      m_limits(OpenConnectionBound(), kMaxConnections),
      m_pool(kMaxConnections),
      m_pGate(std::make_shared<OriginGate>()),
      m_pending([this](int socket, RequestReceiver::Outcome outcome, std::string request,
                       ConnectionLimits::Ticket ticket) {
        OnRequestDone(socket, outcome, std::move(request), std::move(ticket));
      }),
      m_broker(BrokerSocketPath()),
      m_uid(::geteuid()) {
  CAppData* app = GetAppData();
  for (Notifier* notifier : {&m_pGate->Changed(), &m_limits.Freed()}) {
    m_bLookNowAndThen = !m_pending.WakeOn(*notifier) || m_bLookNowAndThen;
  }
  if (app != nullptr) {
    for (Notifier* notifier :
         {&app->StopNotifier(), &app->RelistenNotifier(), &app->SitesNotifier()}) {
      m_bLookNowAndThen = !m_pending.WakeOn(*notifier) || m_bLookNowAndThen;
    }
  }
  if (m_bLookNowAndThen && m_pending.Valid()) {
    LogError("cannot wait for the listener's events (out of descriptors?); looking for them "
             "every " + std::to_string(kAcceptPollMs) + " ms instead");
  }
}

void ConnectionListener::Run() {
  while (!IsStopped()) {
    const bool listened = Listen();
    if (IsStopped()) {
      break;
    }
    Pause(listened ? kRelistenPauseMs : kBindRetryMs);
  }
  m_pending.CloseAll();
  m_pool.Shutdown();
  m_pGate->TakeAll();  // requests still waiting for an answer: closed without one
}

void ConnectionListener::Pause(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!IsStopped() && Clock::now() < until) {
    m_pending.Poll({}, WaitMs(until));
    ServeGate();
  }
}

int ConnectionListener::WaitMs(Clock::time_point until) const {
  until = std::min(until, m_pGate->NextExpiry());
  int timeout = -1;
  if (until != Clock::time_point::max()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    timeout = static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX));
  }
  if (m_bLookNowAndThen && (timeout < 0 || timeout > kAcceptPollMs)) {
    timeout = kAcceptPollMs;
  }
  return timeout;
}

bool ConnectionListener::Listen() {
  CAppData* app = GetAppData();
  app->ClearRelistenRequest();
  const uint16_t port = app->GetPort();
  app->SetListeningPort(port);
  if (!m_pending.Valid()) {
    if (!m_bBindFailureReported) {
      m_bBindFailureReported = true;
      LogError("cannot watch connections: no epoll instance could be made; nothing is served");
    }
    return false;
  }

  const BindPlan plan = m_config.Apply(*app, port);
  m_pGate->SetAsking(app->GetOriginPolicy()->AsksAboutNew());
  std::vector<UniqueFd> listeners;
  std::vector<int> sockets;  // what connections come from: listening sockets, or the broker
  std::vector<std::optional<Endpoint>> ends;  // of each listening socket
  // A broker on this computer holds the port for every user: registered
  // with it, this server binds nothing.
  const BrokerLink::State linked = m_broker.Register(port, app->StopNotifier().Fd());
  if (linked != BrokerLink::State::kNone) {
    sockets.push_back(m_broker.Fd());
    ends.emplace_back();
    m_bBindFailureReported = false;
    AnnounceRegistration(port);
  } else {
    std::vector<std::string> boundTexts;
    for (const BindAddress& address : plan.addresses) {
      Result<UniqueFd> listener =
          OpenListeningSocket(address.address, address.length, {.backlog = kListenBacklog});
      if (!listener) {
        const int error = listener.Code();
        if (address.optional && (error == EADDRNOTAVAIL || error == EAFNOSUPPORT)) {
          LogDebug("no " + address.text + " on this system; not listening there");
          continue;
        }
        ReportBindFailure(address, error);
        return false;
      }
      sockets.push_back(listener->Get());
      ends.push_back(LocalEnd(listener->Get()));
      listeners.push_back(std::move(*listener));
      boundTexts.push_back(address.text);
    }
    if (listeners.empty()) {
      ReportBindFailure(plan.addresses.front(), EADDRNOTAVAIL);
      return false;
    }
    m_bBindFailureReported = false;
    ListeningPlace place{ListeningPlace::Way::kBound, port, std::move(boundTexts), {}};
    LogInfo("listening on " + place.Text());
    app->SetListening(std::move(place));
  }
  // Listening itself, the server watches for a broker to appear.
  const int brokerAppears = linked == BrokerLink::State::kNone ? m_broker.AppearFd() : -1;
  bool brokerChanged = false;

  while (!IsStopped()) {
    // At the bound, or out of descriptors, nothing is accepted: new
    // connections wait in the backlog.
    const auto now = Clock::now();
    auto wakeAt = Clock::time_point::max();
    bool canOpen = m_limits.CanOpen();
    bool backlog = false;
    if (!canOpen) {
      ReportBound();
      // A connection that waits gives way to one in the backlog, so that
      // slow senders cannot keep every other client out.
      backlog = BacklogWaiting(sockets);
      canOpen = backlog && m_pending.EvictIdlest(nullptr, now - kEvictIdle) && m_limits.CanOpen();
      if (backlog && !canOpen && m_pending.IdlestSince() != Clock::time_point::max()) {
        wakeAt = m_pending.IdlestSince() + kEvictIdle;  // when one may give way
      }
    }
    const bool accepting = canOpen && now >= m_acceptResumes;
    if (canOpen && !accepting) {
      wakeAt = m_acceptResumes;
    }
    // At the bound with an empty backlog the listening sockets stay watched,
    // so that a connection arriving there wakes the loop to make room for it;
    // otherwise, at the bound, a share given back or a deadline does.
    static const std::vector<int> kNone;
    const bool watch = accepting || (!canOpen && !backlog);
    std::vector<int> watched = watch ? sockets : kNone;
    if (brokerAppears >= 0) {
      watched.push_back(brokerAppears);
    }
    const std::vector<int> ready = m_pending.Poll(watched, WaitMs(wakeAt));
    if (IsStopped()) {
      break;
    }
    // Also when a rebind was asked for in the same instant: the connections
    // already waiting are taken and served.
    bool failed = false;
    for (const int socket : ready) {
      if (socket == brokerAppears) {
        brokerChanged = m_broker.Appeared() || brokerChanged;
        continue;
      }
      if (!accepting) {
        continue;
      }
      if (linked != BrokerLink::State::kNone) {
        brokerChanged = !TakeHanded() || brokerChanged;
        continue;
      }
      const size_t index = static_cast<size_t>(
          std::find(sockets.begin(), sockets.end(), socket) - sockets.begin());
      const std::optional<Endpoint>& end = ends.at(index);
      failed = !AcceptClients(socket, end ? &*end : nullptr) || failed;
    }
    ServeGate();
    if (failed || brokerChanged || app->RelistenRequested()) {
      break;
    }
  }
  m_pending.WatchListeners({});
  app->SetListening({});
  if (linked != BrokerLink::State::kNone) {
    m_broker.Close();
    LogInfo(brokerChanged ? "the port broker has gone; listening without it"
                          : "leaving the port broker");
  } else {
    LogDebug("closing the listening sockets on port " + std::to_string(port));
    if (brokerChanged) {
      LogInfo("a port broker started at " + m_broker.Path() + "; registering with it");
    }
  }
  return true;
}

void ConnectionListener::AnnounceRegistration(uint16_t port) {
  const bool registered = m_broker.GetState() == BrokerLink::State::kRegistered;
  GetAppData()->SetListening(ListeningPlace{
      registered ? ListeningPlace::Way::kRegistered : ListeningPlace::Way::kWaiting, port, {},
      m_broker.Path()});
  if (registered) {
    LogInfo("registered with the port broker at " + m_broker.Path() + ": connections to port " +
            std::to_string(port) + " come through it");
  } else {
    LogInfo("another label server of this user is registered with the port broker at " +
            m_broker.Path() + "; this one takes its place when it ends");
  }
}

bool ConnectionListener::TakeHanded() {
  for (size_t taken = 0; taken < kAcceptsPerWake;) {
    std::vector<ConnectionLimits::Ticket> tickets;
    while (tickets.size() < kHandedPerTake) {
      ConnectionLimits::Ticket ticket = m_limits.TryOpen();
      if (!ticket.Valid()) {
        break;
      }
      tickets.push_back(std::move(ticket));
    }
    if (tickets.empty()) {
      return true;  // at the bound: the rest wait in the broker's queue
    }
    std::vector<UniqueFd> connections;
    const BrokerLink::Taken got = m_broker.Take(tickets.size(), &connections);
    taken += std::max<size_t>(got.packets, 1);
    if (got.registered) {
      AnnounceRegistration(GetAppData()->ListeningPort());
    }
    std::vector<Arrival> arrivals;
    for (size_t i = 0; i < connections.size(); ++i) {
      Arrival arrival{connections[i].Release(), {}, std::move(tickets[i])};
      socklen_t length = sizeof arrival.address;
      if (::getpeername(arrival.client, reinterpret_cast<sockaddr*>(&arrival.address),
                        &length) != 0) {
        ::close(arrival.client);  // gone already
        continue;
      }
      arrivals.push_back(std::move(arrival));
    }
    AdmitAll(arrivals, nullptr);
    if (got.gone) {
      return false;
    }
    if (got.packets < tickets.size()) {
      return true;  // nothing more waits
    }
  }
  return true;
}

void ConnectionListener::ReportBindFailure(const BindAddress& address, int error) {
  if (m_bBindFailureReported) {
    return;
  }
  m_bBindFailureReported = true;
  const std::string port = std::to_string(GetAppData()->ListeningPort());
  std::string message = "cannot listen on " + address.text + " port " + port + " (" +
                        std::strerror(error) + ")";
  if (error == EADDRINUSE) {
    const std::optional<Endpoint> endpoint = Endpoint::From(address.address);
    const std::optional<uid_t> owner =
        endpoint ? SocketOwner::ListenerOwner(*endpoint) : std::nullopt;
    if (owner && *owner != m_uid) {
      message = "port " + port + " on " + address.text + " is taken by a program of another " +
                "user, " + SocketOwner::Describe(*owner) +
                " (another user's label server?); this server cannot serve until it is free";
    } else if (owner) {
      message = "port " + port + " on " + address.text +
                " is taken by another program of this user";
    } else {
      message = "port " + port + " on " + address.text + " is taken by another program";
    }
  }
  LogInfo(message + "; retrying every 100 ms");
}

bool ConnectionListener::AcceptClients(int listenSocket, const Endpoint* local) {
  const CAppData* app = GetAppData();
  // The connections waiting are taken together and their owners asked for in
  // one lookup.
  std::vector<Arrival> arrivals;
  bool keep = true;
  for (size_t i = 0; i < kAcceptsPerWake; ++i) {
    ConnectionLimits::Ticket ticket = m_limits.TryOpen();
    if (!ticket.Valid()) {
      break;  // at the bound: the rest stay in the backlog
    }
    Arrival arrival{-1, {}, std::move(ticket)};
    socklen_t addressLength = sizeof arrival.address;
    arrival.client = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&arrival.address),
                               &addressLength, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (arrival.client >= 0) {
      if (app->IsStopping()) {
        ::close(arrival.client);  // accepted as the server stops: nobody would serve it
        break;
      }
      arrivals.push_back(std::move(arrival));
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      break;
    }
    if (!IsTransientAcceptError(errno)) {
      LogError(std::string("accept failed: ") + std::strerror(errno));
      keep = false;
      break;
    }
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      m_acceptResumes = Clock::now() + std::chrono::milliseconds(kAcceptPollMs);
      break;
    }
  }
  AdmitAll(arrivals, local);
  return keep;
}

void ConnectionListener::AdmitAll(std::vector<Arrival>& arrivals, const Endpoint* local) {
  std::vector<std::optional<Endpoint>> peers;
  std::vector<SocketOwner::Ends> ends;
  std::vector<size_t> asked;  // the arrival of each of `ends`
  for (size_t i = 0; i < arrivals.size(); ++i) {
    peers.push_back(Endpoint::From(arrivals[i].address));
    const std::optional<Endpoint> end = local ? *local : LocalEnd(arrivals[i].client);
    if (peers.back() && end) {
      ends.push_back({*peers.back(), *end});
      asked.push_back(i);
    }
  }
  const std::vector<SocketOwner::Result> owners = m_owner.PeersOf(ends);
  std::vector<std::optional<SocketOwner::Result>> ownerOf(arrivals.size());
  for (size_t k = 0; k < asked.size(); ++k) {
    ownerOf[asked[k]] = owners[k];
  }
  for (size_t i = 0; i < arrivals.size(); ++i) {
    Arrival& arrival = arrivals[i];
    if (!MayServe(peers[i], ownerOf[i])) {
      ::send(arrival.client, kForbiddenAnswer.data(), kForbiddenAnswer.size(),
             MSG_DONTWAIT | MSG_NOSIGNAL);
      CloseConnection(arrival.client, 0);
      continue;
    }
    const auto now = Clock::now();
    std::string peer = PeerAddress(arrival.address);
    // A peer at its bound is one no ordinary client reaches: its idlest
    // waiting connection gives way however briefly it has been silent.
    if (!arrival.ticket.SetPeer(peer) &&
        !(m_pending.EvictIdlest(&peer, now) && arrival.ticket.SetPeer(peer))) {
      m_pending.NoteRefusal("too many connections from " + peer, now);
      ::close(arrival.client);
      continue;
    }
    m_pending.Add(arrival.client, std::move(arrival.ticket), now, std::move(peer));
  }
}

bool ConnectionListener::MayServe(const std::optional<Endpoint>& peer,
                                  const std::optional<SocketOwner::Result>& found) {
  if (!peer || !found) {
    return false;
  }
  const SocketOwner::Result& owner = *found;
  switch (owner.status) {
    case SocketOwner::Status::kFound:
      // A socket nobody holds any more that reports uid 0 may be in
      // time-wait, whose owner the kernel no longer tells: refused quietly,
      // since nobody is left to read an answer (a port probe, most often).
      if (!owner.held && owner.uid == 0) {
        LogDebug("refused a connection closed before its owner could be told");
        return false;
      }
      if (owner.uid == m_uid) {
        return true;
      }
      Refusals().Log("uid " + std::to_string(owner.uid),
                     "refused a connection of user " + SocketOwner::Describe(owner.uid) +
                         ": this server serves only " + SocketOwner::Describe(m_uid));
      return false;
    case SocketOwner::Status::kNotLocal:
      // From another computer: only where bindAddress allows it. A loopback
      // peer whose socket is gone (reset already) is refused quietly.
      if (!peer->IsLoopback()) {
        return true;
      }
      LogDebug("refused a connection whose socket is gone");
      return false;
    case SocketOwner::Status::kFailed:
      break;
  }
  Refusals().Log("uid lookup", "refused a connection: cannot tell which user made it "
                               "(neither socket diagnostics nor /proc/net/tcp tell)");
  return false;
}

void ConnectionListener::ServeGate() {
  CAppData* app = GetAppData();
  if (app != nullptr && app->TakeSitesReload()) {
    m_config.ReloadSites(*app);
    m_pGate->SetAsking(app->GetOriginPolicy()->AsksAboutNew());
  }
  for (OriginGate::Answered& answered : m_pGate->TakeAnswered()) {
    ApplyAnswer(answered.origin, answered.outcome);
    for (OriginGate::Held& held : answered.held) {
      if (answered.allowed()) {
        m_pool.Post(std::make_unique<CSendTask>(m_pMgr, held.socket.Release(),
                                                RequestReceiver::Outcome::kComplete,
                                                std::move(held.request), std::move(held.ticket),
                                                m_pGate));
      } else {
        // An origin the user refused is denied; one nobody was asked about
        // is not allowed.
        const std::string_view refusal = answered.outcome == OriginGate::Outcome::kNotAsked
                                              ? kForbiddenAnswer
                                              : kDeniedAnswer;
        m_pool.Post(CSendTask::Answering(m_pMgr, held.socket.Release(), refusal,
                                         std::move(held.ticket)));
      }
    }
  }
  std::vector<OriginGate::Held> expired = m_pGate->TakeExpired(Clock::now());
  if (!expired.empty()) {
    Refusals().Log("unanswered", "refused " + std::to_string(expired.size()) +
                                     " request(s) that waited " +
                                     std::to_string(kConsentWait.count()) +
                                     " s for the user's answer about their origin");
  }
  for (OriginGate::Held& held : expired) {
    m_pool.Post(CSendTask::Answering(m_pMgr, held.socket.Release(), kWaitingAnswer,
                                     std::move(held.ticket)));
  }
}

void ConnectionListener::ApplyAnswer(const std::string& origin, OriginGate::Outcome outcome) {
  CAppData* app = GetAppData();
  const std::shared_ptr<const OriginPolicy> policy = app->GetOriginPolicy();
  switch (outcome) {
    case OriginGate::Outcome::kNotAsked:
      LogDebug("the question about origin \"" + origin + "\" was closed without asking");
      return;
    case OriginGate::Outcome::kStopAsking: {
      app->SetOriginPolicy(std::make_shared<const OriginPolicy>(policy->WithAsking(false)));
      const std::string where = "[Server] askForNewSites of " + GetConfigFile();
      // Remembered, so that the next listening cycle and the next run keep
      // asking off until the user turns it back on.
      if (const Result<> stored = SiteList::SetAsking(false); stored) {
        m_config.ReloadSites(*app, false);
        LogInfo("the user refused origin \"" + origin +
                "\" and chose not to be asked again: origins not in allowedOrigins are "
                "refused until " + where + " is set to true");
      } else {
        LogError("the user chose not to be asked about origins again, but it could not be "
                 "written to " + where + " (" + stored.Error() +
                 "); it holds until the configuration changes");
      }
      return;
    }
    case OriginGate::Outcome::kAllowed:
    case OriginGate::Outcome::kDenied:
      break;
  }
  const bool allowed = outcome == OriginGate::Outcome::kAllowed;
  app->SetOriginPolicy(std::make_shared<const OriginPolicy>(policy->With(origin, allowed)));
  // Remembered in the configuration file, so that the next run reads it;
  // the policy is read back from it at once (its change is logged here, not
  // again when the file is seen changing).
  const Result<> stored = SiteList::Remember(origin, allowed);
  if (stored) {
    m_config.ReloadSites(*app, false);
  }
  const std::string where = std::string("[Server] ") +
                            (allowed ? "allowedOrigins" : "deniedOrigins") + " of " +
                            GetConfigFile();
  if (stored) {
    LogInfo(std::string("the user ") + (allowed ? "allowed" : "denied") + " origin \"" + origin +
            "\"; remembered in " + where);
  } else {
    LogError(std::string("the user ") + (allowed ? "allowed" : "denied") + " origin \"" + origin +
             "\" but it could not be written to " + where + " (" + stored.Error() +
             "); it holds until the configuration changes");
  }
}

void ConnectionListener::ReportBound() {
  const auto now = Clock::now();
  if (m_boundReported != Clock::time_point() && now - m_boundReported < kBoundReportInterval) {
    return;
  }
  m_boundReported = now;
  LogInfo("open connections at their bound of " + std::to_string(m_limits.MaxOpen()) +
          "; new connections wait in the listen backlog");
}

void ConnectionListener::OnRequestDone(int socket, RequestReceiver::Outcome outcome, std::string request,
                              ConnectionLimits::Ticket ticket) {
  if (outcome == RequestReceiver::Outcome::kNoRoom) {
    // Answered here, not by a worker: the answer fits the socket's buffer,
    // and the body is left unread.
    ::send(socket, kBodyBudgetAnswer.data(), kBodyBudgetAnswer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    CloseConnection(socket, 0);
    return;
  }
  if (outcome != RequestReceiver::Outcome::kComplete &&
      outcome != RequestReceiver::Outcome::kTooLarge) {
    CloseConnection(socket, 0);  // nothing usable: no answer
    return;
  }
  if (outcome == RequestReceiver::Outcome::kComplete) {
    // A request answered from its bytes alone costs no hand-over.
    const std::optional<std::string> left = CSendTask::AnswerAtOnce(GetAppData(), socket, request);
    if (left) {
      if (!left->empty()) {
        m_pool.Post(CSendTask::Answering(m_pMgr, socket, *left, std::move(ticket)));
      }
      return;
    }
  }
  m_pool.Post(std::make_unique<CSendTask>(m_pMgr, socket, outcome, std::move(request),
                                          std::move(ticket), m_pGate));
}

}  // namespace qb
