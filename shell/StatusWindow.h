// The status window, "Quillbox label server": what the running server does
// (where it listens, for how long, with dialogs or headless), its catalogue
// (version, the last update run, the progress of a run, "Update now"), the
// printers (each queue's state, the printer remembered per sheet size, which
// the user may forget), the web sites allowed and denied (the user's own may
// be removed or switched), the last print jobs, "Open log" and "Quit".
//
// It reads everything through the sources it is given and changes nothing
// itself except through them: the update run, the site list and the
// remembered printers are the same code the routes and --status use. It is
// kept current only while it is shown: a one-second timer runs while it is
// visible and stops when it is hidden, so a server whose window is closed
// does not wake.
//
// Thread contract: UI thread only. The sources outlive the window.
#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>

#include "context/ListeningPlace.h"
#include "shell/PrinterQuery.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace qb {

class CAppData;
class PrinterDirectory;
class PrintHistory;
class RememberedPrinters;
class SiteDirectory;

// The window's words for where the server listens, in the desktop's
// language; `configuredPort` names the port it failed to bind when it listens
// nowhere.
QString ListeningText(const ListeningPlace& place, int configuredPort);

struct StatusSources {
  CAppData* appData = nullptr;
  const PrinterDirectory* printers = nullptr;
  RememberedPrinters* remembered = nullptr;
  SiteDirectory* sites = nullptr;
  const PrintHistory* prints = nullptr;
  bool headless = false;
  std::chrono::steady_clock::time_point started;
  std::function<void()> updateNow;  // starts the update run off the UI thread
  std::function<void()> quit;       // stops the server as control message 1041 does
};

class StatusWindow : public QWidget {
 public:
  explicit StatusWindow(StatusSources sources);
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;

  // Shows the window (or brings it to the front) with fresh contents.
  void ShowAndRaise();
  // Reads every source again.
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildRunning(QWidget* box);
  void BuildCatalogue(QWidget* box);
  void BuildPrinters(QWidget* box);
  void BuildSites(QWidget* box);
  void BuildPrints(QWidget* box);
  // The parts that change by the second: uptime and the update's progress.
  void RefreshQuick();
  void RefreshCatalogue();
  // Asks for the queues off the UI thread; ShowPrinters() takes the answer.
  void RefreshPrinters();
  void ShowPrinters(const PrinterQuery::Answer& printers);
  void RefreshRemembered();
  void RefreshSites();
  void RefreshPrints();
  void ChangeSelectedSite(bool remove);
  void ForgetSelectedPrinter();
  void OpenLog();
  void ShowFailure(const QString& what, const std::string& reason);

  StatusSources m_sources;
  QTimer m_timer;       // runs while the window is visible
  int m_nTicks = 0;
  int m_nMostPending = 0;  // the most downloads seen waiting in this run
  QLabel* m_pListening = nullptr;
  QLabel* m_pUptime = nullptr;
  QLabel* m_pMode = nullptr;
  QLabel* m_pVersion = nullptr;
  QLabel* m_pLastRun = nullptr;
  QProgressBar* m_pProgress = nullptr;
  QPushButton* m_pUpdate = nullptr;
  QTreeWidget* m_pPrinters = nullptr;
  QTreeWidget* m_pRemembered = nullptr;
  QPushButton* m_pForget = nullptr;
  QTreeWidget* m_pSites = nullptr;
  QPushButton* m_pRemoveSite = nullptr;
  QPushButton* m_pSwitchSite = nullptr;
  QTreeWidget* m_pPrints = nullptr;
  // Last: destroyed (waiting for a question under way) before the widgets.
  PrinterQuery m_printerQuery;
};

}  // namespace qb
