// quillbox-server: the local catalogue-and-print server of the label-design
// client. Parses the command line, builds the application context, runs the
// listener until SIGTERM or SIGINT, and rebinds on SIGHUP.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/CAppData.h"
#include "server/Listener.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillbox-server [options]\n"
    "Runs the local catalogue-and-print server of the label-design client.\n"
    "\n"
    "Options:\n"
    "  --catalogue-url URL  catalogue server for this run (scheme and host[:port])\n"
    "  --verbose            write debug traces to standard error\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "SIGTERM or SIGINT stops the server; SIGHUP makes it bind its port again.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "quillbox-server: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("quillbox-server %s\n", QUILLBOX_VERSION);
      return 0;
    }
    if (arg == "--verbose") {
      qb::SetVerbose(true);
    } else if (arg == "--catalogue-url") {
      if (i + 1 >= argc) {
        return Fail("--catalogue-url needs a URL");
      }
      if (!qb::SetCatalogueBaseUrl(argv[++i])) {
        return Fail(std::string("not a catalogue URL (http://host[:port]): ") + argv[i]);
      }
    } else {
      return Fail("unknown option " + std::string(arg) + " (see --help)");
    }
  }

  // The signals are taken by this thread alone: every thread started later
  // inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  qb::CAppData app;
  qb::LogInfo("data folder " + qb::GetDataFolder() + ", catalogue server " +
              qb::catalogueBaseUrl());
  qb::StartListener(app);

  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) {
      continue;
    }
    if (signal == SIGHUP) {
      qb::LogInfo("rebinding on request");
      app.m_bRelisten.store(1);
      continue;
    }
    qb::LogInfo("stopping");
    app.m_bStop.store(1);
    break;
  }
  qb::JoinListener();
  return 0;
}
