// Latency of normal queries while many slow clients hold connections open.
// Runs three phases of SECONDS each and prints one line per phase:
//   none       no slow client, the baseline;
//   silent     SILENT connections that connect and send nothing;
//   +trickling the silent ones plus TRICKLING connections that send a POST
//              head announcing a 1 MB body at once and then one body byte
//              per second. (A client that sends its head one byte per second
//              has it cut at its first 100 ms pause and closed, so only an
//              announced body keeps a trickling connection open.)
// A slow connection the server closes is opened again at once, so that the
// number of open slow connections stays up for the whole phase. Normal
// queries ("GET PATH") run one after another on one thread, each on a new
// connection with a time-out of 10 s; for each phase the line gives the
// number of queries, p50, p99 and max latency in ms (connect to close), the
// queries that failed or timed out, and how many slow connections were
// established at the end of the phase.
//
//   slow_clients PORT PATH [SECONDS] [SILENT] [TRICKLING]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "LoopbackClient.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQueryTimeoutMs = 10000;
constexpr const char* kTrickleHead =
    "POST /dbAccess/IMG_URL HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n";

// One normal query; its latency in ms, or a negative value on failure.
double Query(uint16_t port, const std::string& request) {
  const auto begin = Clock::now();
  const auto deadline = begin + std::chrono::milliseconds(kQueryTimeoutMs);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    return -1;
  }
  const sockaddr_in address = qb::bench::Loopback(port);
  bool ok = true;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    ok = false;
  }
  size_t sent = 0;
  size_t received = 0;
  while (ok) {
    const int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0) {
      ok = false;
      break;
    }
    pollfd pfd{fd, static_cast<short>(sent < request.size() ? POLLOUT : POLLIN), 0};
    if (::poll(&pfd, 1, left) <= 0) {
      continue;
    }
    if (sent < request.size()) {
      const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        ok = false;
      }
      continue;
    }
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      received += static_cast<size_t>(n);
    } else if (n == 0) {
      ok = received > 0;
      break;
    } else if (errno != EAGAIN && errno != EINTR) {
      ok = false;
    }
  }
  ::close(fd);
  return ok ? std::chrono::duration<double, std::milli>(Clock::now() - begin).count() : -1;
}

// Keeps a set of slow connections open on its own thread.
class SlowConnections {
 public:
  explicit SlowConnections(uint16_t port) : m_port(port), m_epoll(::epoll_create1(0)) {
    m_thread = std::thread([this] { Loop(); });
  }
  ~SlowConnections() {
    m_stop = true;
    m_thread.join();
    for (const auto& [fd, conn] : m_conns) {
      ::close(fd);
    }
    ::close(m_epoll);
  }

  void Add(int silent, int trickling) {
    std::lock_guard lock(m_mutex);
    m_wantSilent += silent;
    m_wantTrickling += trickling;
  }

  // Established connections: silent, trickling.
  std::pair<int, int> Established() {
    std::lock_guard lock(m_mutex);
    int silent = 0;
    int trickling = 0;
    for (const auto& [fd, conn] : m_conns) {
      if (conn.established) {
        ++(conn.trickling ? trickling : silent);
      }
    }
    return {silent, trickling};
  }

 private:
  struct Conn {
    bool trickling = false;
    bool established = false;
  };

  void Open(bool trickling) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      return;
    }
    const sockaddr_in address = qb::bench::Loopback(m_port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      ::close(fd);
      return;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
    event.data.fd = fd;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    m_conns[fd] = Conn{trickling, false};
  }

  void Drop(int fd) {
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    m_conns.erase(fd);
  }

  void Loop() {
    auto nextTrickle = Clock::now() + std::chrono::seconds(1);
    std::vector<epoll_event> events(1024);
    while (!m_stop) {
      {
        std::lock_guard lock(m_mutex);
        int silent = 0;
        int trickling = 0;
        for (const auto& [fd, conn] : m_conns) {
          ++(conn.trickling ? trickling : silent);
        }
        for (; silent < m_wantSilent; ++silent) Open(false);
        for (; trickling < m_wantTrickling; ++trickling) Open(true);
      }
      const int n = ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 20);
      std::lock_guard lock(m_mutex);
      for (int i = 0; i < n; ++i) {
        const int fd = events[static_cast<size_t>(i)].data.fd;
        const uint32_t what = events[static_cast<size_t>(i)].events;
        auto it = m_conns.find(fd);
        if (it == m_conns.end()) {
          continue;
        }
        Conn& conn = it->second;
        if (what & (EPOLLERR | EPOLLHUP | EPOLLRDHUP | EPOLLIN)) {
          // The server answered or closed: this slow connection is over.
          Drop(fd);
          continue;
        }
        if ((what & EPOLLOUT) && !conn.established) {
          conn.established = true;
          epoll_event event{};
          event.events = EPOLLIN | EPOLLRDHUP;
          event.data.fd = fd;
          ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
          if (conn.trickling &&
              ::send(fd, kTrickleHead, std::char_traits<char>::length(kTrickleHead),
                     MSG_NOSIGNAL) < 0) {
            Drop(fd);
          }
        }
      }
      if (Clock::now() >= nextTrickle) {
        nextTrickle += std::chrono::seconds(1);
        std::vector<int> failed;
        for (const auto& [fd, conn] : m_conns) {
          if (conn.trickling && conn.established && ::send(fd, "x", 1, MSG_NOSIGNAL) < 0) {
            failed.push_back(fd);
          }
        }
        for (const int fd : failed) Drop(fd);
      }
    }
  }

  const uint16_t m_port;
  const int m_epoll;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;  // guards the members below
  std::unordered_map<int, Conn> m_conns;
  int m_wantSilent = 0;
  int m_wantTrickling = 0;
  std::thread m_thread;
};

void Phase(const char* name, uint16_t port, const std::string& request, int seconds,
           SlowConnections& slow) {
  std::vector<double> latencies;
  int failed = 0;
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < until) {
    const double ms = Query(port, request);
    if (ms < 0) {
      ++failed;
    } else {
      latencies.push_back(ms);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::sort(latencies.begin(), latencies.end());
  const auto [silent, trickling] = slow.Established();
  std::printf("  %-11s %8zu %9.2f %9.2f %9.2f %7d %8d %10d\n", name, latencies.size(), qb::bench::Percentile(latencies, 0.5),
              qb::bench::Percentile(latencies, 0.99), latencies.empty() ? 0.0 : latencies.back(), failed, silent, trickling);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 6) {
    std::fprintf(stderr, "usage: slow_clients PORT PATH [SECONDS] [SILENT] [TRICKLING]\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const std::string request = std::string("GET ") + argv[2] + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
  const int silent = argc > 4 ? std::atoi(argv[4]) : 500;
  const int trickling = argc > 5 ? std::atoi(argv[5]) : 500;

  std::printf("  %-11s %8s %9s %9s %9s %7s %8s %10s\n", "phase", "queries", "p50 ms", "p99 ms",
              "max ms", "failed", "silent", "trickling");
  SlowConnections slow(port);
  Phase("none", port, request, seconds, slow);
  slow.Add(silent, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Phase("silent", port, request, seconds, slow);
  slow.Add(0, trickling);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Phase("+trickling", port, request, seconds, slow);
  return 0;
}
