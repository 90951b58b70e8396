// The control window: the object on the UI thread that owns the control
// socket, turns SIGTERM/SIGINT into a quit and SIGHUP into a rebind, starts
// the listener, and runs the print jobs and saves that connection threads post
// to it, and asks the user about web origins. It never shows anything
// itself; the print and save dialogs and the origin question appear only when
// dialogs are shown (a display is present).
//
// Thread contract: created, used and deleted on the UI thread. PostPrint,
// PostSave and PostOriginQuestion may be called from any thread: they only
// queue the work on the UI thread's event loop; AsksUser reads a constant.
// The owner joins every connection worker before it deletes the window; work
// still queued then is dropped with it. Print and save dialogs open one at a
// time: a job or a document that arrives while a dialog is open waits in the
// dialog queue for its turn. The origin question is a window of its own that
// does not wait for them (nor they for it).
#pragma once

#include <QObject>
#include <QPrinter>
#include <chrono>
#include <memory>
#include <string>

#include "context/CAppData.h"
#include "context/CControlWindow.h"
#include "shell/DialogQueue.h"
#include "util/Result.h"
#include "util/UniqueFd.h"

class QLocalServer;
class QSocketNotifier;

namespace qb {

class OriginPrompt;
class Presence;

class DesktopControl : public QObject, public CControlWindow {
 public:
  DesktopControl(CAppData* appData, bool showDialogs);
  ~DesktopControl() override;
  DesktopControl(const DesktopControl&) = delete;
  DesktopControl& operator=(const DesktopControl&) = delete;

  // Serves the control socket at `socketPath` (mode 0600, a stale file is
  // replaced) and takes the signals blocked by the caller (SIGTERM, SIGINT,
  // SIGHUP) through the event loop. Fails with the reason.
  Result<> Open(const std::string& socketPath);
  // Removes the control socket; no more control messages are taken.
  void Close();

  // Starts the listener; a second call does nothing.
  void StartListener();
  // Acts on control message `code` with `param` (1035 rebind, 1037 quit only
  // with 513, 1041 quit); false for an unknown code.
  bool HandleMessage(int code, int param);

  void PostPrint(std::shared_ptr<CPrintSession> session) override;
  void PostSave(std::unique_ptr<CQxSaveSession> session) override;
  bool AsksUser() const override { return m_bShowDialogs; }
  void PostOriginQuestion(const std::string& origin, std::function<bool()> stillOpen,
                          std::function<void(OriginAnswer)> answered) override;

  // Makes the status window and the tray icon available (dialogs are shown
  // only); call once, before the event loop runs.
  void StartPresence();
  // Shows the status window; false when the server runs headless.
  bool ShowStatusWindow();

  // The answer to the status request: "key=value" lines (see ControlChannel).
  std::string StatusText() const;

  // The printer selection kept for the life of the window: the default
  // destination at first, the user's choice after a confirmed dialog.
  QPrinter* Printer();

 private:
  void OnControlConnection();
  void OnSignal();

  CAppData* m_pAppData;        // not owned
  int m_bClosing = 0;          // 1 once the window is closing
  const bool m_bShowDialogs;   // print and save dialogs are shown
  QLocalServer* m_pServer = nullptr;       // owned through the QObject tree
  QSocketNotifier* m_pSignalNotifier = nullptr;  // owned through the QObject tree
  UniqueFd m_signalFd;                     // signalfd of the blocked signals
  std::unique_ptr<QPrinter> m_pPrinter;    // created at the first print job
  OriginPrompt* m_pOriginPrompt = nullptr;  // owned through the QObject tree
  DialogQueue m_dialogs;                   // print and save dialogs, one at a time
  std::unique_ptr<Presence> m_pPresence;   // window and tray; null when headless
  const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

}  // namespace qb
