// quillbox-server: the local catalogue-and-print server of the label-design
// client. Runs as a single instance per user: takes the instance lock, builds
// the application context, serves the control socket and the listener on the
// Qt event loop until asked to quit, then joins every worker and tears the
// context down. With --send, --quit or --relisten it is the control client of
// the running instance instead; with --status it writes the diagnostic report;
// with --sites and --forget-site it lists or changes the site lists; with
// --show it asks the running instance to show its status window, or becomes
// the server and shows it when none runs.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "context/CAppData.h"
#include "shell/CInstanceLock.h"
#include "shell/ControlChannel.h"
#include "shell/DesktopControl.h"
#include "shell/RuntimeFolder.h"
#include "shell/SitesCommand.h"
#include "shell/SitesWatcher.h"
#include "context/ServerConfig.h"
#include "shell/StatusReport.h"
#include "shell/Translations.h"
#include "server/Listener.h"
#include "util/CatalogueUrl.h"
#include "util/EnvNumber.h"
#include "util/DiskBudget.h"
#include "util/HeapPolicy.h"
#include "util/Log.h"
#include "util/LogFile.h"
#include "util/UserFolders.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillbox-server [options]\n"
    "Runs the local catalogue-and-print server of the label-design client.\n"
    "\n"
    "Options:\n"
    "  --catalogue-url URL  catalogue server for this run (scheme and host[:port])\n"
    "  --verbose            write debug traces to standard error\n"
    "  --send CODE [PARAM]  send one control message to the running server and exit\n"
    "                       (1035 rebind, 1037 513 quit, 1041 quit); exit status 1\n"
    "                       when no server runs, 2 when it does not know the message\n"
    "  --quit               same as --send 1041\n"
    "  --relisten           same as --send 1035\n"
    "  --show               show the running server's status window; start the server\n"
    "                       (and show it) when none runs\n"
    "  --status             report on the running server, its configuration, catalogue,\n"
    "                       catalogue server, printer and display; exit status 0 all\n"
    "                       well, 2 problems found, 3 no server running\n"
    "  --sites              list the allowed and denied web sites (origins) and where\n"
    "                       each comes from\n"
    "  --forget-site ORIGIN take back the user's answer about ORIGIN; a running server\n"
    "                       applies it at once (exit status 1 when there is none)\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "SIGTERM or SIGINT stops the server; SIGHUP makes it bind its port again.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "quillbox-server: %s\n", message.c_str());
  return 1;
}

bool IsNumber(std::string_view text) {
  return !text.empty() && text.find(' ') == std::string_view::npos &&
         qb::ParseControlLine(text).has_value();
}

bool HasEnv(const char* name) { return !qb::EnvText(name).empty(); }

// Exit status of --send when the server does not know the message.
constexpr int kUnknownMessage = 2;

// Qt's own messages go through the server's log: debug lines, and errors
// for critical and fatal ones.
void QtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  const std::string text = "Qt: " + message.toStdString();
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    qb::LogError(text);
  } else {
    qb::LogDebug(text);
  }
}

int SendToServer(const std::string& line) {
  const qb::Result<std::string> runtime = qb::GetRuntimeFolder(false);
  if (!runtime) {
    return Fail("no running server (" + runtime.Error() + ")");
  }
  const std::string socketPath = qb::ControlSocketPath(*runtime);
  const std::optional<std::string> reply = qb::SendControlMessage(socketPath, line);
  if (!reply) {
    return Fail("no running server (no answer on " + socketPath + ")");
  }
  if (*reply != "ok") {
    std::fprintf(stderr,
                 "quillbox-server: the server does not know the message %s (it answered %s)\n",
                 line.c_str(), reply->c_str());
    return kUnknownMessage;
  }
  return 0;
}

// What became of asking the running server to show its window.
enum class ShowAnswer { kShown, kNoServer, kHeadless, kNotKnown };

ShowAnswer AskToShow(std::string* reply) {
  const qb::Result<std::string> runtime = qb::GetRuntimeFolder(false);
  if (!runtime) {
    return ShowAnswer::kNoServer;
  }
  const std::optional<std::string> answer =
      qb::SendControlMessage(qb::ControlSocketPath(*runtime), std::string(qb::kShowRequest));
  if (!answer) {
    return ShowAnswer::kNoServer;
  }
  *reply = *answer;
  return *answer == "ok"                 ? ShowAnswer::kShown
         : *answer == qb::kShowHeadless ? ShowAnswer::kHeadless
                                        : ShowAnswer::kNotKnown;
}

// Exit status of --show for an answer other than kNoServer.
int ShowExitStatus(ShowAnswer answer, const std::string& reply) {
  switch (answer) {
    case ShowAnswer::kShown:
      return 0;
    case ShowAnswer::kHeadless:
      return Fail("the running server has no display (it runs headless): it has no window to "
                  "show; quillbox-server --status reports on it");
    default:
      std::fprintf(stderr,
                   "quillbox-server: the running server cannot show a window (it answered %s)\n",
                   reply.c_str());
      return kUnknownMessage;
  }
}

// --show when another instance holds the lock: it is starting, so its
// control socket may not be open yet; asked again for a few seconds.
int ShowStartingInstance() {
  constexpr int kAttempts = 50;
  constexpr useconds_t kPauseUs = 200 * 1000;
  std::string reply;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const ShowAnswer answer = AskToShow(&reply);
    if (answer != ShowAnswer::kNoServer) {
      return ShowExitStatus(answer, reply);
    }
    ::usleep(kPauseUs);
  }
  return Fail("the running server does not answer on its control socket");
}

// What a second start says about the instance that runs.
void ReportRunningInstance(const std::string& runtime) {
  std::string pid;
  std::string port;
  if (const std::optional<std::string> reply = qb::SendControlMessage(
          qb::ControlSocketPath(runtime), std::string(qb::kStatusRequest))) {
    pid = qb::StatusValue(*reply, "pid");
    port = qb::StatusValue(*reply, "port");
  }
  if (pid.empty()) {
    const long owner = qb::CInstanceLock::OwnerPid(qb::InstanceLockPath(runtime));
    pid = owner > 0 ? std::to_string(owner) : "unknown";
  }
  if (port.empty() || port == "0") {
    port = std::to_string(qb::ServerConfig::Load().Port());
  }
  std::fprintf(stderr, "quillbox-server: already running (pid %s, port %s)\n", pid.c_str(),
               port.c_str());
}

int ShowStatus() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char name[] = "quillbox-server";
  char* qtArgv[] = {name, nullptr};
  QGuiApplication application(qtArgc, qtArgv);
  const qb::StatusResult result = qb::MakeStatusReport();
  std::fputs(result.text.c_str(), stdout);
  std::fflush(stdout);
  return result.exitStatus;
}

// The catalogue server of this run: the command line, the configuration,
// the build, or none.
void UseCatalogueServer(const std::optional<std::string>& flagUrl) {
  const qb::ServerConfig config = qb::ServerConfig::Load(flagUrl);
  config.LogNewWarnings();
  qb::SetCatalogueBaseUrl(config.CatalogueUrl());
  qb::SetCatalogueProxy(config.Proxy());
  qb::SetCatalogueCaFile(config.CaFile());
  if (config.CatalogueUrl().empty()) {
    qb::LogInfo(
        "no catalogue server is configured ([Catalogue] url); no catalogue request is made");
  }
}

int RunServer(const std::optional<std::string>& flagUrl, bool showWindow) {
  qb::UseServerHeapPolicy();
  // The signals are taken by the control window through the event loop: every
  // thread started later inherits the blocked mask.
  const sigset_t blocked = qb::ControlSignals();
  pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  const qb::Result<std::string> runtimeFolder = qb::GetRuntimeFolder(true);
  if (!runtimeFolder) {
    return Fail(runtimeFolder.Error());
  }
  const std::string& runtime = *runtimeFolder;
  // Qt looks for the runtime folder too and complains when the variable is
  // missing: it gets the one this server uses (private to the user).
  if (!HasEnv("XDG_RUNTIME_DIR") || std::getenv("XDG_RUNTIME_DIR")[0] != '/') {
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  qb::CInstanceLock instance;
  if (instance.Acquire(qb::InstanceLockPath(runtime)) == qb::CInstanceLock::kHeldElsewhere) {
    if (showWindow) {
      return ShowStartingInstance();
    }
    ReportRunningInstance(runtime);
    return 0;  // another instance serves
  }
  // Without the journal, standard error may reach no one (a desktop's
  // autostart): the lines are kept in a file too.
  if (!qb::StandardErrorIsJournal()) {
    if (const qb::Result<> kept = qb::StartLogFile(qb::DefaultLogFile()); !kept) {
      qb::LogWarning("no log file is kept: " + kept.Error());
    }
  }
  UseCatalogueServer(flagUrl);

  const bool showDialogs = HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY");
  if (showWindow && !showDialogs) {
    return Fail("--show needs a display (DISPLAY or WAYLAND_DISPLAY) and no server runs");
  }
  if (!showDialogs) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  int qtArgc = 1;
  char name[] = "quillbox-server";
  char* qtArgv[] = {name, nullptr};
  QApplication application(qtArgc, qtArgv);
  QApplication::setQuitOnLastWindowClosed(false);  // dialogs come and go
  if (showDialogs) {
    qb::InstallTranslations(&application);
  }

  auto appData = std::make_unique<qb::CAppData>();
  auto window = std::make_unique<qb::DesktopControl>(appData.get(), showDialogs);
  if (const qb::Result<> opened = window->Open(qb::ControlSocketPath(runtime)); !opened) {
    return Fail(opened.Error());
  }
  qb::LogInfo(std::string("version " QUILLBOX_VERSION ", data folder ") + qb::GetDataFolder() +
              ", catalogue server " +
              (qb::catalogueBaseUrl().empty() ? std::string("none") : qb::catalogueBaseUrl()) +
              (showDialogs ? "" : ", headless"));
  // Files that a run ended mid-write left under their temporary names.
  if (const size_t removed = qb::RemovePartialFiles(qb::GetDataFolder()); removed > 0) {
    qb::LogInfo("removed " + std::to_string(removed) + " unfinished download or unpacked files");
  }
  appData->SetControlWindow(window.get());
  window->StartPresence();
  window->StartListener();
  // Changes to the site lists (--forget-site, an edit of the file) apply at
  // once.
  auto sites = std::make_unique<qb::SitesWatcher>([app = appData.get()] {
    app->RequestSitesReload();
  });
  if (showWindow) {
    window->ShowStatusWindow();
  }

  QApplication::exec();

  sites.reset();
  window->Close();
  appData->RequestStop();
  qb::JoinListener();
  appData->SetControlWindow(nullptr);
  window.reset();
  appData.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(QtMessage);
  std::string controlLine;
  std::optional<std::string> flagUrl;
  bool status = false;
  bool listSites = false;
  std::optional<std::string> forgetSite;
  bool show = false;
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
      flagUrl = qb::NormalizeCatalogueUrl(argv[++i]);
      if (!flagUrl) {
        return Fail(std::string("not a catalogue URL (http://host[:port]): ") + argv[i]);
      }
    } else if (arg == "--send") {
      if (i + 1 >= argc || !IsNumber(argv[i + 1])) {
        return Fail("--send needs a message number");
      }
      controlLine = argv[++i];
      if (i + 1 < argc && IsNumber(argv[i + 1])) {
        controlLine += std::string(" ") + argv[++i];
      }
    } else if (arg == "--quit") {
      controlLine = std::to_string(qb::kMsgQuit);
    } else if (arg == "--relisten") {
      controlLine = std::to_string(qb::kMsgRelisten);
    } else if (arg == "--status") {
      status = true;
    } else if (arg == "--sites") {
      listSites = true;
    } else if (arg == "--forget-site") {
      if (i + 1 >= argc) {
        return Fail("--forget-site needs an origin (scheme://host[:port])");
      }
      forgetSite = argv[++i];
    } else if (arg == "--show") {
      show = true;
    } else {
      return Fail("unknown option " + std::string(arg) + " (see --help)");
    }
  }
  if (status) {
    return ShowStatus();
  }
  if (listSites) {
    return qb::ListSites();
  }
  if (forgetSite) {
    return qb::ForgetSite(*forgetSite);
  }
  if (!controlLine.empty()) {
    return SendToServer(controlLine);
  }
  if (show) {
    std::string reply;
    const ShowAnswer answer = AskToShow(&reply);
    if (answer != ShowAnswer::kNoServer) {
      return ShowExitStatus(answer, reply);
    }
  }
  return RunServer(flagUrl, show);
}
