#include "shell/Presence.h"

#include <QSystemTrayIcon>

#include "context/CAppData.h"
#include "context/ServerConfig.h"
#include "shell/StatusWindow.h"
#include "shell/TrayIcon.h"
#include "util/Log.h"

namespace qb {

Presence::Presence(CAppData* appData, std::chrono::steady_clock::time_point started,
                   std::function<void()> quit)
    : m_pAppData(appData),
      m_started(started),
      m_quit(std::move(quit)),
      m_sites(appData),
      m_prints(appData->PrintSessions().Outcomes()) {
  m_pAppData->Updates().SetListener([this](bool running) {
    QMetaObject::invokeMethod(
        this, [this, running] { OnUpdateRunning(running); }, Qt::QueuedConnection);
  });
}

Presence::~Presence() {
  m_pAppData->Updates().SetListener(nullptr);
  if (m_updateWorker.joinable()) {
    m_updateWorker.join();
  }
}

void Presence::StartTray() {
  if (!ServerConfig::Load().TrayIcon()) {
    LogInfo("no tray icon: [Server] trayIcon is false");
    return;
  }
  // Made also without a tray: it shows nothing then, and docks by itself
  // when a tray starts later (a panel that starts after the server).
  m_pTray = std::make_unique<TrayIcon>(
      TrayIcon::Actions{[this] { ShowWindow(); }, [this] { UpdateNow(); }, m_quit}, &m_printers);
  m_pTray->SetUpdating(m_pAppData->Updates().Running());
  LogInfo(QSystemTrayIcon::isSystemTrayAvailable()
              ? "tray icon shown"
              : "the desktop has no tray now: the tray icon appears when one starts "
                "(quillbox-server --show opens the window)");
}

void Presence::ShowWindow() {
  if (!m_pWindow) {
    StatusSources sources;
    sources.appData = m_pAppData;
    sources.printers = &m_printers;
    sources.remembered = &m_remembered;
    sources.sites = &m_sites;
    sources.prints = &m_prints;
    sources.headless = false;
    sources.started = m_started;
    sources.updateNow = [this] { UpdateNow(); };
    sources.quit = m_quit;
    m_pWindow = std::make_unique<StatusWindow>(std::move(sources));
  }
  m_pWindow->ShowAndRaise();
}

void Presence::UpdateNow() {
  if (m_bWorkerBusy.load() || m_pAppData->Updates().Running()) {
    LogInfo("update run asked for on the desktop: one is going on already");
    return;
  }
  if (m_updateWorker.joinable()) {
    m_updateWorker.join();  // its run has ended
  }
  LogInfo("update run asked for on the desktop");
  m_bWorkerBusy.store(true);
  CAppData* app = m_pAppData;
  std::atomic<bool>* busy = &m_bWorkerBusy;
  m_updateWorker = std::thread([app, busy] {
    app->Updates().Run(app->Catalogue(), app->Downloads());
    busy->store(false);
  });
}

void Presence::OnUpdateRunning(bool running) {
  if (m_pTray) {
    m_pTray->SetUpdating(running);
  }
  if (m_pWindow && m_pWindow->isVisible()) {
    m_pWindow->Refresh();
  }
}

}  // namespace qb
