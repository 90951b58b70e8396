// What a desktop user sees of the server: the status window (made when first
// shown) and the tray icon (where the desktop has a tray, unless [Server]
// trayIcon turns it off), with the sources they read and the worker thread that runs "Update now" so that the UI
// thread never waits for an update.
//
// Thread contract: made, used and deleted on the UI thread, and only when
// dialogs are shown. The update worker touches no Qt object: it runs the
// update through the context, whose listener only posts to this object.
// The destructor joins the worker; the owner sets the stop flag first so
// that a run in progress ends at once.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "context/ConfiguredSites.h"
#include "output/ConfiguredPrinters.h"
#include "output/CupsPrinterDirectory.h"
#include "output/OutcomeHistory.h"

namespace qb {

class CAppData;
class StatusWindow;
class TrayIcon;

class Presence : public QObject {
 public:
  // `quit` stops the server as control message 1041 does.
  Presence(CAppData* appData, std::chrono::steady_clock::time_point started,
           std::function<void()> quit);
  ~Presence() override;
  Presence(const Presence&) = delete;
  Presence& operator=(const Presence&) = delete;

  // Makes the tray icon unless the configuration turns it off; it is shown
  // where the desktop has a tray, now or later. Logs which.
  void StartTray();
  // Shows the status window, bringing it to the front.
  void ShowWindow();
  // Starts the update run on the worker unless one runs already.
  void UpdateNow();

 private:
  void OnUpdateRunning(bool running);

  CAppData* m_pAppData;  // not owned
  const std::chrono::steady_clock::time_point m_started;
  std::function<void()> m_quit;
  CupsPrinterDirectory m_printers;
  ConfiguredPrinters m_remembered;
  ConfiguredSites m_sites;
  // The print manager's outcomes, as "print/status" reports them.
  OutcomeHistory m_prints;
  std::unique_ptr<StatusWindow> m_pWindow;
  std::unique_ptr<TrayIcon> m_pTray;
  std::atomic<bool> m_bWorkerBusy{false};  // the worker has not finished its run
  std::thread m_updateWorker;
};

}  // namespace qb
