// Load client for a mix of requests, one request per connection, with every
// answer checked against a reference answer taken before the load.
//
//   mixed_load PORT SECONDS CLIENTS REQUEST_FILE [SERVER_PID]
//
// REQUEST_FILE has one request per line: "NAME WEIGHT METHOD TARGET [BODY]"
// (BODY without blanks, sent with its Content-Length). First every request
// is sent once, in order, and its whole answer (status line, headers, body)
// becomes the reference; a reference that is not a 200 answer stops the run.
// Then CLIENTS connections are kept open at once for SECONDS from one epoll
// thread: each connects, sends a request picked by weight, reads until the
// server closes, compares the bytes with the reference and starts the next.
// At the end no new request starts and those in flight get 60 s to finish.
//
// Prints requests/s (over the load and the drain, and over the load alone),
// p50/p99 latency (connect to close), failed (no complete answer: connect
// failed, reset, closed without an answer, unfinished) and wrong answers, per
// request name and in total, and with SERVER_PID the server's peak thread
// count (sampled every 20 ms) and peak resident memory (VmHWM). Exit status 0
// unless the references could not be taken; figures never fail the run.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackClient.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDrain = std::chrono::seconds(60);

struct Request {
  std::string name;
  int weight = 1;
  std::string bytes;     // what is sent
  std::string expected;  // the reference answer
};

struct Figures {
  std::vector<double> latencies;
  long failed = 0;
  long wrong = 0;
};

// Why requests failed, over all requests.
enum Failure { kConnect, kReset, kNoAnswer, kUnfinished, kFailureKinds };
const char* const kFailureNames[kFailureKinds] = {"connect failed", "reset", "closed without an answer",
                                                  "unfinished after the drain"};

struct Slot {
  int fd = -1;
  size_t request = 0;
  size_t sent = 0;
  std::string received;
  Clock::time_point began;
};

std::vector<Request> ReadRequests(const char* path) {
  std::ifstream in(path);
  std::vector<Request> requests;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream words(line);
    Request r;
    std::string method, target, body;
    words >> r.name >> r.weight >> method >> target >> body;
    r.bytes = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (method == "POST") {
      r.bytes += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                 std::to_string(body.size()) + "\r\n";
    }
    r.bytes += "\r\n" + body;
    requests.push_back(std::move(r));
  }
  return requests;
}

long StatusValue(int pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const size_t keyLength = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, keyLength, key) == 0) {
      return std::atol(line.c_str() + keyLength);
    }
  }
  return -1;
}


}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: mixed_load PORT SECONDS CLIENTS REQUEST_FILE [SERVER_PID]\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const int seconds = std::atoi(argv[2]);
  const int clients = std::atoi(argv[3]);
  std::vector<Request> requests = ReadRequests(argv[4]);
  const int pid = argc == 6 ? std::atoi(argv[5]) : 0;
  if (requests.empty()) {
    std::fprintf(stderr, "no requests in %s\n", argv[4]);
    return 2;
  }

  std::printf("references (one of each, before the load):\n");
  for (Request& r : requests) {
    if (!qb::bench::Exchange(port, r.bytes, &r.expected) || r.expected.rfind("HTTP/1.1 200 OK\r\n", 0) != 0) {
      std::fprintf(stderr, "reference for %s is not a 200 answer:\n%s\n", r.name.c_str(),
                   r.expected.substr(0, 200).c_str());
      return 1;
    }
    const size_t body = r.expected.find("\r\n\r\n");
    std::printf("  %-20s weight %3d, %6zu answer bytes, body %zu\n", r.name.c_str(), r.weight,
                r.expected.size(), body == std::string::npos ? 0 : r.expected.size() - body - 4);
  }
  std::vector<size_t> schedule;  // request indexes, each as often as its weight
  for (size_t i = 0; i < requests.size(); ++i) {
    schedule.insert(schedule.end(), static_cast<size_t>(requests[i].weight), i);
  }
  std::shuffle(schedule.begin(), schedule.end(), std::mt19937(7));

  std::atomic<bool> sampling{true};
  long peakThreads = 0;
  std::thread sampler;
  if (pid > 0) {
    sampler = std::thread([&] {
      while (sampling) {
        peakThreads = std::max(peakThreads, StatusValue(pid, "Threads:"));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }

  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  const sockaddr_in address = qb::bench::Loopback(port);
  std::vector<Slot> slots(static_cast<size_t>(clients));
  std::vector<Figures> figures(requests.size());
  size_t next = 0;
  int open = 0;
  long failures[kFailureKinds] = {};
  long answeredInLoad = 0;

  const auto start = [&](size_t s) {
    Slot& slot = slots[s];
    slot.request = schedule[next++ % schedule.size()];
    slot.sent = 0;
    slot.received.clear();
    slot.began = Clock::now();
    slot.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (slot.fd < 0) {
      ++figures[slot.request].failed;
      ++failures[kConnect];
      return;
    }
    if (::connect(slot.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      ++figures[slot.request].failed;
      ++failures[kConnect];
      ::close(slot.fd);
      slot.fd = -1;
      return;
    }
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
    event.data.u64 = s;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, slot.fd, &event);
    ++open;
  };
  const auto finish = [&](size_t s, bool complete, Failure why, bool loading) {
    Slot& slot = slots[s];
    Figures& f = figures[slot.request];
    if (!complete) {
      ++f.failed;
      ++failures[why];
    } else if (slot.received != requests[slot.request].expected) {
      if (f.wrong++ == 0) {
        // The first wrong answer of each request, where it departs.
        const std::string& want = requests[slot.request].expected;
        size_t at = 0;
        while (at < want.size() && at < slot.received.size() && want[at] == slot.received[at]) {
          ++at;
        }
        const size_t from = at < 60 ? 0 : at - 60;
        std::fprintf(stderr, "wrong answer to %s (%zu bytes, %zu expected), from byte %zu:\n"
                     "  got:      %s\n  expected: %s\n", requests[slot.request].name.c_str(),
                     slot.received.size(), want.size(), from,
                     slot.received.substr(from, 160).c_str(), want.substr(from, 160).c_str());
      }
    } else {
      f.latencies.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - slot.began).count());
      answeredInLoad += loading ? 1 : 0;
    }
    ::close(slot.fd);  // also leaves the epoll set
    slot.fd = -1;
    --open;
  };

  const auto began = Clock::now();
  const auto until = began + std::chrono::seconds(seconds);
  for (size_t s = 0; s < slots.size(); ++s) {
    start(s);
  }
  std::vector<epoll_event> events(1024);
  char buffer[65536];
  Clock::time_point ended{};
  for (;;) {
    const auto now = Clock::now();
    const bool loading = now < until;
    if (!loading) {
      if (ended == Clock::time_point{}) {
        ended = now;
      }
      if (open == 0 || now >= ended + kDrain) {
        break;
      }
    }
    const int n = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 100);
    for (int i = 0; i < n; ++i) {
      const size_t s = events[i].data.u64;
      Slot& slot = slots[s];
      if (slot.fd < 0) {
        continue;
      }
      const std::string& bytes = requests[slot.request].bytes;
      bool done = false;
      bool complete = false;
      Failure why = kReset;
      if ((events[i].events & EPOLLOUT) != 0 && slot.sent < bytes.size()) {
        const ssize_t w = ::send(slot.fd, bytes.data() + slot.sent, bytes.size() - slot.sent,
                                 MSG_NOSIGNAL);
        if (w > 0) {
          slot.sent += static_cast<size_t>(w);
          if (slot.sent == bytes.size()) {
            epoll_event event{};
            event.events = EPOLLIN | EPOLLRDHUP;
            event.data.u64 = s;
            ::epoll_ctl(epoll, EPOLL_CTL_MOD, slot.fd, &event);
          }
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
          done = true;
          why = slot.sent == 0 ? kConnect : kReset;
        }
      }
      if (!done && (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) {
        for (;;) {
          const ssize_t r = ::recv(slot.fd, buffer, sizeof buffer, 0);
          if (r > 0) {
            slot.received.append(buffer, static_cast<size_t>(r));
            continue;
          }
          if (r == 0) {
            done = true;
            complete = slot.sent == bytes.size() && !slot.received.empty();
            why = kNoAnswer;
          } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            done = true;
            why = slot.sent == 0 ? kConnect : kReset;
          }
          break;
        }
      }
      if (done) {
        finish(s, complete, why, loading);
        if (loading) {
          start(s);
        }
      }
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();
  for (Slot& slot : slots) {
    if (slot.fd >= 0) {
      ++figures[slot.request].failed;
      ++failures[kUnfinished];
      ::close(slot.fd);
    }
  }
  ::close(epoll);
  sampling = false;
  if (sampler.joinable()) {
    sampler.join();
  }

  std::printf("\n%d clients, %d s of load (%.1f s with the drain), one request per connection\n",
              clients, seconds, elapsed);
  std::printf("  %-20s %10s %10s %10s %10s %8s %8s\n", "request", "answers", "requests/s",
              "p50 ms", "p99 ms", "failed", "wrong");
  Figures total;
  for (size_t i = 0; i < requests.size(); ++i) {
    Figures& f = figures[i];
    total.latencies.insert(total.latencies.end(), f.latencies.begin(), f.latencies.end());
    std::sort(f.latencies.begin(), f.latencies.end());
    total.failed += f.failed;
    total.wrong += f.wrong;
    std::printf("  %-20s %10zu %10.0f %10.2f %10.2f %8ld %8ld\n", requests[i].name.c_str(),
                f.latencies.size(), double(f.latencies.size()) / elapsed, qb::bench::Percentile(f.latencies, 0.5),
                qb::bench::Percentile(f.latencies, 0.99), f.failed, f.wrong);
  }
  std::sort(total.latencies.begin(), total.latencies.end());
  std::printf("  %-20s %10zu %10.0f %10.2f %10.2f %8ld %8ld\n", "all", total.latencies.size(),
              double(total.latencies.size()) / elapsed, qb::bench::Percentile(total.latencies, 0.5),
              qb::bench::Percentile(total.latencies, 0.99), total.failed, total.wrong);
  std::printf("answered during the %d s of load: %ld (%.0f requests/s)\n", seconds,
              answeredInLoad, double(answeredInLoad) / seconds);
  std::printf("failed:");
  for (int k = 0; k < kFailureKinds; ++k) {
    std::printf(" %s %ld%s", kFailureNames[k], failures[k], k + 1 < kFailureKinds ? "," : "\n");
  }
  if (pid > 0) {
    std::printf("server: peak threads %ld, peak resident memory %.1f MiB\n", peakThreads,
                double(StatusValue(pid, "VmHWM:")) / 1024.0);
  }
  return 0;
}
