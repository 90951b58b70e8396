#include "shell/StatusReport.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "shell/ControlChannel.h"
#include "shell/RuntimeFolder.h"
#include "context/ServerConfig.h"
#include "context/SiteList.h"
#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueTable.h"
#include "output/CupsScheduler.h"
#include "output/CupsStateMap.h"
#include "output/PrinterMemory.h"
#include "update/HttpGet.h"
#include "update/LastUpdateRun.h"
#include "update/VersionCheck.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"
#include "util/LogFile.h"
#include "util/EnvNumber.h"
#include "util/MutexLock.h"
#include "util/Text.h"
#include "util/UserFolders.h"
#include "util/ConfigFiles.h"

namespace qb {
namespace {

class Report {
 public:
  void Section(const std::string& title) { m_text += "\n" + title + "\n"; }
  void Line(const std::string& key, const std::string& value) {
    m_text += "  " + key + ": " + value + "\n";
  }
  void Problem(std::string text) { m_problems.push_back(std::move(text)); }

  StatusResult Finish(bool running) {
    Section("Problems");
    for (const std::string& problem : m_problems) {
      m_text += "  - " + problem + "\n";
    }
    if (m_problems.empty()) {
      m_text += "  none found\n";
    }
    return {m_text,
            !running ? kStatusNotRunning : (m_problems.empty() ? kStatusAllWell : kStatusProblems)};
  }

 private:
  std::string m_text = "quillbox-server " QUILLBOX_VERSION " status\n";
  std::vector<std::string> m_problems;
};

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string Uptime(const std::string& seconds) {
  const long total = std::strtol(seconds.c_str(), nullptr, 10);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

std::string DisplayOf(const std::string& display, const std::string& wayland) {
  if (display.empty() && wayland.empty()) {
    return {};
  }
  return display.empty()
             ? "WAYLAND_DISPLAY=" + wayland
             : "DISPLAY=" + display + (wayland.empty() ? "" : ", WAYLAND_DISPLAY=" + wayland);
}

// The body of a GET; fails when nothing came within `seconds`.
Result<std::string> FetchWithin(const std::string& url, int seconds) {
  std::atomic<bool> stop{false};
  Mutex mutex;
  std::condition_variable finished;
  bool done = false;  // guarded by mutex (a local cannot carry the attribute)
  std::thread watchdog([&] {
    MutexLock lock(mutex);
    if (!lock.WaitFor(finished, std::chrono::seconds(seconds), [&] { return done; })) {
      stop.store(true);
    }
  });
  Result<std::string> body = HttpGet(url, &stop);
  {
    MutexLock lock(mutex);
    done = true;
  }
  finished.notify_all();
  watchdog.join();
  return body;
}

void ReportCatalogue(Report& report) {
  const std::string folder = GetDataFolder();
  report.Line("data folder", folder + (Exists(folder) ? "" : " (not created yet)"));
  const std::optional<int> version = LocalCatalogueVersion();
  report.Line("version", version ? std::to_string(*version) : std::string("none yet"));
  const std::string path = CatalogueDb::Path();
  if (!Exists(path)) {
    report.Line("database", path + " (not created yet: the client's first request creates it)");
    return;
  }
  report.Line("database", path);
  std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
  if (!db) {
    report.Line("integrity", "cannot open the database");
    report.Problem("the catalogue database " + path + " cannot be opened");
    return;
  }
  std::string check;
  Statement quick = db->Prepare("PRAGMA quick_check");
  while (quick.Valid() && quick.NextRow()) {
    check += (check.empty() ? "" : "; ") + std::string(quick.Text(0).value_or(""));
  }
  if (!quick.Valid()) {
    check = sqlite3_errmsg(db->Handle());
  }
  report.Line("integrity", check == "ok" ? check : "damaged: " + check);
  if (check != "ok") {
    report.Problem("the catalogue database is damaged (" + check + ")");
  }
  std::vector<std::string> tables;
  Statement names =
      db->Prepare("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  while (names.Valid() && names.NextRow()) {
    tables.emplace_back(names.Text(0).value_or(""));
  }
  for (const CatalogueTable* refreshed : RefreshedCatalogueTables()) {
    const std::string table(refreshed->name);
    if (std::find(tables.begin(), tables.end(), table) == tables.end()) {
      report.Line("table " + table, "missing");
      report.Problem("the catalogue table " + table + " is missing");
    }
  }
  for (const std::string& table : tables) {
    Statement count = db->Prepare("SELECT count(*) FROM \"" + table + "\"");
    report.Line("table " + table, count.Valid() && count.NextRow()
                                      ? std::to_string(count.Int(0)) + " rows"
                                      : std::string("cannot be read"));
  }
}

void ReportCatalogueServer(Report& report, const std::string& url, const std::string& source,
                           const std::string& proxy, int reachSeconds) {
  if (url.empty()) {
    report.Line("url", "none configured");
    report.Problem(
        "no catalogue server is configured: set [Catalogue] url (see man quillbox-server)");
    return;
  }
  report.Line("url", url + " (" + source + ")");
  report.Line("proxy", proxy.empty() ? "none" : proxy);
  SetCatalogueProxy(proxy);
  const std::string file = url + "/Ver3/DeskTop/verFile_DB.txt";
  const Result<std::string> answer = FetchWithin(file, reachSeconds);
  if (!answer) {
    // The reason (refused, timed out, a certificate for another name) is
    // what the user acts on.
    report.Line("reachable", "no (GET " + file + ": " + answer.Error() + ")");
    report.Problem("the catalogue server " + url + " cannot be reached (" + answer.Error() +
                   "): the catalogue is not updated");
    return;
  }
  report.Line("reachable", "yes, catalogue version " + std::to_string(VersionNumber(*answer)));
}

void ReportPrinter(Report& report) {
  const std::string where = "CUPS at " + CupsScheduler::ServerName();
  const Result<CupsScheduler::Destinations> destinations =
      CupsScheduler(std::chrono::seconds(2)).AllDestinations();
  if (!destinations) {
    report.Line("print scheduler", where + ", not reachable");
    report.Line("default destination", "unknown");
    report.Problem(destinations.Error() +
                   ": nothing can print; start it with sudo systemctl start cups, or set "
                   "CUPS_SERVER to the scheduler to use");
    return;
  }
  const std::vector<CupsPrinterFacts>& queues = destinations->printers;
  const std::string& defaultName = destinations->defaultName;
  const auto queueNamed = [&](const std::string& name) {
    return std::find_if(queues.begin(), queues.end(),
                        [&](const CupsPrinterFacts& queue) { return queue.name == name; });
  };
  // The printers remembered per sheet size; one that is gone is said so,
  // since the print job passes over it.
  const auto reportRemembered = [&] {
    for (const RememberedPrinter& remembered : RememberedPrinterList()) {
      const bool gone = queueNamed(remembered.printer) == queues.end();
      report.Line("printer for " + remembered.sheet,
                  remembered.printer + (gone ? " (not a queue of this scheduler: prints of this "
                                               "size go to the default)"
                                             : ""));
    }
  };
  report.Line("print scheduler", where + ", " + std::to_string(queues.size()) + " queue(s)");
  for (const CupsPrinterFacts& queue : queues) {
    const std::string listed = ReasonsText(queue.reasons);
    const std::string why = listed.empty() ? std::string() : " (" + listed + ")";
    if (NeedsAttention(queue)) {
      report.Problem("the printer " + queue.name + " is stopped" + why + ": fix it, then cupsenable " +
                     queue.name);
    }
    if (!queue.accepting) {
      report.Problem("the printer " + queue.name + " does not accept jobs" + why +
                     ": cupsaccept " + queue.name);
    }
  }
  if (defaultName.empty()) {
    report.Line("default destination", "none");
    report.Problem("no default printer: set one with lpoptions -d NAME (lpstat -p lists them)");
    reportRemembered();
    return;
  }
  const auto facts = queueNamed(defaultName);
  const std::string state = facts == queues.end() ? std::string("not a queue of this scheduler")
                                                   : PrinterStateName(facts->state);
  report.Line("default destination", defaultName + " (" + state + ")");
  reportRemembered();
}

constexpr std::string_view kJournalCommand = "journalctl --user -u quillbox-server";

}  // namespace

StatusResult MakeStatusReport(int reachSeconds) {
  Report report;

  report.Section("Server");
  const Result<std::string> runtime = GetRuntimeFolder(false);
  std::string reply;
  bool running = false;
  if (!runtime) {
    report.Line("running", "no (" + runtime.Error() + ")");
  } else {
    const std::string socketPath = ControlSocketPath(*runtime);
    const std::optional<std::string> answer =
        SendControlMessage(socketPath, std::string(kStatusRequest));
    running = answer.has_value();
    reply = answer.value_or(std::string());
    if (!running) {
      report.Line("running", "no (no server answers on " + socketPath + ")");
    } else if (StatusValue(reply, "pid").empty()) {
      report.Line("running", "yes, but it does not answer the status request (" + reply + ")");
    } else {
      report.Line("running", "yes, pid " + StatusValue(reply, "pid") + ", up " +
                                 Uptime(StatusValue(reply, "uptime")) + ", version " +
                                 StatusValue(reply, "version"));
      const std::string listening = StatusValue(reply, "listening");
      const bool brokered = listening.find("port broker") != std::string::npos;
      report.Line("listening", listening.empty() ? "no (port " + StatusValue(reply, "port") +
                                                       " cannot be bound; see its log)"
                               : brokered        ? listening
                                                 : listening + " (bound by this server)");
      if (listening.empty()) {
        report.Problem("the server is not listening on port " + StatusValue(reply, "port"));
      }
      const std::string logFile = StatusValue(reply, "log");
      report.Line("log", logFile.empty() ? "the journal (" + std::string(kJournalCommand) + ")"
                                         : logFile);
    }
  }
  if (!running) {
    report.Problem("no server is running: start it with systemctl --user start quillbox-server");
    report.Line("log", "the journal under systemd (" + std::string(kJournalCommand) + "), else " +
                           DefaultLogFile());
  }

  const ServerConfig config = ServerConfig::Load();
  report.Section("Configuration");
  for (const ConfigFiles::File& file : config.Files().Files()) {
    report.Line("file", file.path + (file.read ? " (read)" : " (not present)"));
  }
  for (const ConfigSetting& setting : config.Settings()) {
    report.Line(setting.name, setting.value + " (" + setting.source + ")");
  }
  for (const std::string& warning : config.Warnings()) {
    report.Line("warning", warning);
  }
  if (!config.Warnings().empty()) {
    report.Problem("the configuration has " + std::to_string(config.Warnings().size()) +
                   " warning(s), listed above");
  }

  report.Section("Catalogue");
  ReportCatalogue(report);

  report.Section("Catalogue server");
  SetCatalogueCaFile(config.CaFile());
  const bool detailed = running && !StatusValue(reply, "pid").empty();
  if (detailed) {
    ReportCatalogueServer(report, StatusValue(reply, "catalogue"), "in use by the running server",
                          StatusValue(reply, "proxy"), reachSeconds);
  } else {
    ReportCatalogueServer(report, config.CatalogueUrl(), config.CatalogueUrlSource(),
                          config.Proxy(), reachSeconds);
  }

  report.Section("Printing");
  ReportPrinter(report);
  if (detailed) {
    report.Line("page images held", StatusValue(reply, "printPageBytes") + " bytes, " +
                                        StatusValue(reply, "printSessionsOpen") +
                                        " print session(s) open");
  }

  report.Section("Display");
  if (detailed) {
    const std::string display =
        DisplayOf(StatusValue(reply, "DISPLAY"), StatusValue(reply, "WAYLAND_DISPLAY"));
    report.Line("server", StatusValue(reply, "headless") == "yes"
                              ? "headless: no dialogs; prints go to the default printer, "
                                "documents to [Save] folder"
                              : "dialogs are shown on " + display);
  }
  const std::string here = DisplayOf(EnvText("DISPLAY"), EnvText("WAYLAND_DISPLAY"));
  report.Line("this shell",
              here.empty() ? "no display (a server started here runs headless)" : here);

  report.Section("Browser access");
  // The user's and the system-wide lists apply together (--sites tells
  // where each entry comes from).
  std::string allowed;
  std::string denied;
  for (const SiteEntry& site : SiteList::List(config.Files())) {
    std::string& list = site.allowed ? allowed : denied;
    list += (list.empty() ? "" : " ") +
            (site.origin == "*" ? std::string(kAnyOriginText) : site.origin);
  }
  report.Line("allowed origins", allowed.empty() ? std::string(kNoOriginsListedText) : allowed);
  report.Line("denied origins", denied.empty() ? std::string(kNoneListedText) : denied);
  for (const ConfigSetting& setting : config.Settings()) {
    if (setting.name == "[Server] askForNewSites") {
      report.Line("ask about new origins", setting.value);
    } else if (setting.name == "[Server] allowedHosts") {
      report.Line("allowed hosts", setting.value);
    }
  }

  report.Section("Last update run");
  const std::optional<std::string> last = ReadLastUpdateRun();
  report.Line("last", last.value_or("none recorded"));
  if (last && LastUpdateRunFailed(*last)) {
    report.Problem("the last update run had failures: see the server's log");
  }

  return report.Finish(running);
}

}  // namespace qb
