// The tray icon, where the desktop has a tray: its picture and tooltip say
// whether the server is idle, updating the catalogue, or has a problem (the
// last update run failed, the default printer is stopped); its menu offers
// Show, Update catalogue and Quit, and a click shows the status window.
//
// It looks at the last update run and the default printer when it is made,
// when an update run ends, and when its menu opens: it has no timer of its
// own, so an idle server stays asleep.
//
// Thread contract: UI thread only. The printer directory outlives it.
#pragma once

#include <QIcon>
#include <QObject>
#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace qb {

class PrinterDirectory;

class TrayIcon : public QObject {
 public:
  enum class State { kIdle, kUpdating, kProblem };

  struct Actions {
    std::function<void()> show;
    std::function<void()> update;
    std::function<void()> quit;
  };

  TrayIcon(Actions actions, const PrinterDirectory* printers, QObject* parent = nullptr);
  ~TrayIcon() override;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Whether an update run is going on.
  void SetUpdating(bool updating);
  // Looks again at the last update run and the default printer.
  void Recheck();
  State CurrentState() const { return m_state; }
  QString ToolTip() const;
  // Its menu: Show, Update catalogue, a separator and Quit.
  QMenu* Menu() const { return m_pMenu.get(); }

  // The picture of `state`, drawn (the package ships no image files).
  static QIcon IconFor(State state);

 private:
  void Show(State state, const QString& tooltip);

  Actions m_actions;
  const PrinterDirectory* m_pPrinters;
  std::unique_ptr<QMenu> m_pMenu;
  QSystemTrayIcon* m_pIcon = nullptr;  // owned through the QObject tree
  bool m_bUpdating = false;
  State m_state = State::kIdle;
};

}  // namespace qb
