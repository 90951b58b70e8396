// quillbox-broker: the port broker (PortBroker) as a program. Options:
// --port N (the port to listen on when no socket is passed; 3210), --verbose,
// --help, --version. The registration socket is $QUILLBOX_BROKER_SOCKET, else
// /run/quillbox/broker. Under systemd it takes the sockets it is passed.
// SIGTERM and SIGINT end it.
#include <signal.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "broker/ListenFds.h"
#include "broker/PortBroker.h"
#include "net/BrokerMessages.h"
#include "util/Log.h"

namespace {

constexpr const char* kUsage =
    "usage: quillbox-broker [--port N] [--verbose]\n"
    "Passes each connection to the label server port on this computer's loopback\n"
    "addresses to the label server of the user who made it. Servers register on\n"
    "$QUILLBOX_BROKER_SOCKET (default /run/quillbox/broker).\n";

}  // namespace

int main(int argc, char** argv) {
  qb::SetLogName("quillbox-broker");
  qb::PortBroker::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("quillbox-broker " QUILLBOX_VERSION);
      return 0;
    }
    if (arg == "--verbose") {
      qb::SetVerbose(true);
      continue;
    }
    if (arg == "--port" && i + 1 < argc) {
      const std::string_view value = argv[++i];
      unsigned port = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (error != std::errc() || end != value.data() + value.size() || port == 0 ||
          port > 65535) {
        std::fprintf(stderr, "quillbox-broker: --port takes a port from 1 to 65535\n%s", kUsage);
        return 1;
      }
      options.port = static_cast<uint16_t>(port);
      continue;
    }
    std::fprintf(stderr, "quillbox-broker: unknown option %s\n%s", argv[i], kUsage);
    return 1;
  }
  options.passed = qb::TakeListenFds();
  options.socketPath = qb::BrokerSocketPath();

  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  ::sigprocmask(SIG_BLOCK, &stops, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  const qb::UniqueFd stop(::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!stop.Valid()) {
    qb::LogError(std::string("cannot watch for signals: ") + std::strerror(errno));
    return 1;
  }
  qb::PortBroker broker(std::move(options));
  if (!broker.Start()) {
    return 1;
  }
  broker.Run(stop.Get());
  qb::LogInfo("stopped");
  return 0;
}
