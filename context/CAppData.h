// The one application context of the server: created once at start-up before
// the listener runs, destroyed after every worker has been joined. It owns the
// configuration store, the task link, the catalogue definitions, the download
// queue, the print manager and the save manager, carries the flags that end
// the server's loops, the port and the origin policy of the current listening
// cycle, the origin and host policies of the current listening cycle, and
// points to the control window (not owned).
//
// Thread contract: shared by every thread. The flags and the port are atomics
// read without a lock; the stop flag only ever goes from false to true. The
// flags are set through RequestStop, RequestRelisten and RequestSitesReload,
// which also wake the loops that wait for them through their notifiers. The
// origin and host policies are replaced under their mutex and handed out as
// shared, immutable objects. The owned objects are created in the constructor
// and stay put until the destructor, which runs only once no other thread uses
// the context: the references the accessors return are valid that long.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "context/CControlWindow.h"
#include "context/SettingsStore.h"
#include "context/CTaskMgr.h"
#include "context/HostPolicy.h"
#include "context/ListeningPlace.h"
#include "context/OriginPolicy.h"
#include "context/UpdateActivity.h"
#include "catalog/CatalogueSchema.h"
#include "output/CPrintMgr.h"
#include "output/SaveSlots.h"
#include "update/DownloadQueue.h"
#include "util/Mutex.h"
#include "util/Notifier.h"

namespace qb {

inline constexpr uint16_t kDefaultPort = 3210;

class CAppData {
 public:
  CAppData();
  ~CAppData();
  CAppData(const CAppData&) = delete;
  CAppData& operator=(const CAppData&) = delete;

  // Stops the server for good: IsStopping() turns true, StopNotifier() is
  // notified and the download queue's waits wake.
  void RequestStop();
  // Asks the listener to bind again and notifies RelistenNotifier().
  void RequestRelisten();
  // Notes that the site lists in the configuration files may have changed
  // and notifies SitesNotifier().
  void RequestSitesReload();

  // True once the server is shutting down.
  bool IsStopping() const { return m_bStop.load(); }
  // The stop flag itself, for waits that watch one (downloads, sends).
  const std::atomic<bool>* StopFlag() const { return &m_bStop; }

  // A rebind asked for and not yet begun; the listener alone clears it, at
  // the start of each listening cycle.
  bool RelistenRequested() const { return m_bRelisten.load(); }
  void ClearRelistenRequest() { m_bRelisten.store(false); }
  // True when the site lists changed since the last call, which clears it;
  // the listener alone takes it. SitesReloadPending reads it without taking.
  bool TakeSitesReload() { return m_bSitesChanged.exchange(false); }
  bool SitesReloadPending() const { return m_bSitesChanged.load(); }

  // The port of the current listening cycle (0 before the first); the
  // listener alone sets it.
  uint16_t ListeningPort() const { return m_nPort.load(); }
  void SetListeningPort(uint16_t port) { m_nPort.store(port); }

  // The control window while it runs, else null; main sets it.
  CControlWindow* ControlWindow() const { return m_pDlg.load(); }
  void SetControlWindow(CControlWindow* window) { m_pDlg.store(window); }

  // The services the context owns.
  CTaskMgr& Tasks() { return *m_pTaskMgr; }                  // links tasks to this context
  SettingsStore& Settings() { return *m_pSettings; }         // the configuration store
  CatalogueSchema& Catalogue() { return *m_pCatalogueSchema; }  // the catalogue definitions
  CPrintMgr& PrintSessions() { return *m_pPrintMgr; }        // open print sessions, outcomes
  SaveSlots& Saves() { return *m_pSaveMgr; }                 // the save lock
  DownloadQueue& Downloads() { return *m_pDownloadQueue; }   // told by RequestStop()
  UpdateActivity& Updates() { return m_updates; }            // every catalogue update run

  // Notified once the server stops (kOnce: its descriptor stays readable, so
  // any loop may watch it); subscribers must look at IsStopping() after
  // subscribing, since a stop notified before is not repeated.
  Notifier& StopNotifier() { return m_stopNotifier; }
  // Notified at every rebind asked for; the listener alone watches and
  // clears it.
  Notifier& RelistenNotifier() { return m_relistenNotifier; }
  // Notified at every change of the site lists; the listener alone watches
  // and clears it.
  Notifier& SitesNotifier() { return m_sitesNotifier; }

  // The configured TCP port: the low 16 bits of [Server] port, or 3210 when
  // the store has no key, there is no file, group or value, or the value is
  // not a plain 32-bit unsigned decimal number. Read afresh on every call.
  uint16_t GetPort() const;

  // The origins answered in the current listening cycle; none listed until
  // the listener first sets it.
  std::shared_ptr<const OriginPolicy> GetOriginPolicy() const;
  void SetOriginPolicy(std::shared_ptr<const OriginPolicy> policy);
  // The Host header values served in the current listening cycle; this
  // computer's names until the listener first sets it.
  std::shared_ptr<const HostPolicy> GetHostPolicy() const;
  void SetHostPolicy(std::shared_ptr<const HostPolicy> policy);

  // Where the listener takes connections in the current cycle; kNowhere
  // while it is not listening.
  ListeningPlace GetListening() const;
  void SetListening(ListeningPlace place);

 private:
  // Declared before every member that may subscribe to them, so that they
  // outlive it.
  Notifier m_stopNotifier{Notifier::Mode::kOnce};
  Notifier m_relistenNotifier;
  Notifier m_sitesNotifier;

  std::unique_ptr<CTaskMgr> m_pTaskMgr;
  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bRelisten{false};
  std::atomic<bool> m_bSitesChanged{false};
  std::atomic<uint16_t> m_nPort{0};
  std::unique_ptr<SettingsStore> m_pSettings;
  std::unique_ptr<CatalogueSchema> m_pCatalogueSchema;
  std::unique_ptr<CPrintMgr> m_pPrintMgr;
  std::unique_ptr<SaveSlots> m_pSaveMgr;
  std::atomic<CControlWindow*> m_pDlg{nullptr};
  std::unique_ptr<DownloadQueue> m_pDownloadQueue;
  UpdateActivity m_updates;

  mutable Mutex m_policyMutex;
  std::shared_ptr<const OriginPolicy> m_pOriginPolicy GUARDED_BY(m_policyMutex);  // never null
  std::shared_ptr<const HostPolicy> m_pHostPolicy GUARDED_BY(m_policyMutex);      // never null
  mutable Mutex m_listeningMutex;
  ListeningPlace m_listening GUARDED_BY(m_listeningMutex);
};

}  // namespace qb
