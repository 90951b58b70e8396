// Load client for servers that answer one request per connection: each of N
// threads repeatedly connects, sends one GET, reads until the server closes,
// and records the time from connect to close. Prints
// "requests/s p50_ms p99_ms errors" on one line.
//
//   oneshot_load PORT PATH CONNECTIONS SECONDS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackClient.h"

namespace {

using Clock = std::chrono::steady_clock;

bool OneRequest(uint16_t port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    return false;
  }
  const sockaddr_in address = qb::bench::Loopback(port);
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size());
  size_t received = 0;
  char buffer[4096];
  while (ok) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      received += static_cast<size_t>(n);
    } else {
      ok = n == 0 && received > 0;
      break;
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: oneshot_load PORT PATH CONNECTIONS SECONDS\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const std::string request = std::string("GET ") + argv[2] +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  const int connections = std::atoi(argv[3]);
  const auto until = Clock::now() + std::chrono::seconds(std::atoi(argv[4]));

  std::atomic<long> errors{0};
  std::vector<std::vector<double>> latencies(static_cast<size_t>(connections));
  std::vector<std::thread> threads;
  const auto started = Clock::now();
  for (int t = 0; t < connections; ++t) {
    threads.emplace_back([&, t] {
      auto& mine = latencies[static_cast<size_t>(t)];
      while (Clock::now() < until) {
        const auto begin = Clock::now();
        if (OneRequest(port, request)) {
          mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        } else {
          ++errors;
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::vector<double> all;
  for (const auto& mine : latencies) {
    all.insert(all.end(), mine.begin(), mine.end());
  }
  if (all.empty()) {
    std::printf("0 0 0 %ld\n", errors.load());
    return 1;
  }
  std::sort(all.begin(), all.end());
  std::printf("%.0f %.3f %.3f %ld\n", double(all.size()) / seconds,
              qb::bench::Percentile(all, 0.50), qb::bench::Percentile(all, 0.99),
              errors.load());
  return 0;
}
