#include "context/CAppData.h"

#include "context/ServerConfig.h"
#include "util/MutexLock.h"

namespace qb {

CAppData::CAppData()
    : m_pTaskMgr(std::make_unique<CTaskMgr>(this)),
      m_pSettings(std::make_unique<SettingsStore>()),
      m_pCatalogueSchema(std::make_unique<CatalogueSchema>()),
      m_pPrintMgr(std::make_unique<CPrintMgr>()),
      m_pSaveMgr(std::make_unique<SaveSlots>()),
      m_pDownloadQueue(std::make_unique<DownloadQueue>(&m_bStop)),
      m_pOriginPolicy(std::make_shared<const OriginPolicy>()),
      m_pHostPolicy(std::make_shared<const HostPolicy>()) {
  // Read once at start-up; bad values are reported by the configuration check.
  m_pDownloadQueue->SetMaxDownloadRate(ServerConfig::Load().MaxDownloadRate());
}

CAppData::~CAppData() {
  m_pTaskMgr.reset();
  m_pPrintMgr.reset();
  m_pSaveMgr.reset();
  m_pSettings.reset();
}

void CAppData::RequestStop() {
  m_bStop.store(true);
  m_stopNotifier.Notify();
  if (m_pDownloadQueue) {
    m_pDownloadQueue->NotifyStop();
  }
}

void CAppData::RequestRelisten() {
  m_bRelisten.store(true);
  m_relistenNotifier.Notify();
}

void CAppData::RequestSitesReload() {
  m_bSitesChanged.store(true);
  m_sitesNotifier.Notify();
}

uint16_t CAppData::GetPort() const {
  if (m_pSettings->Key().empty()) {
    return kDefaultPort;
  }
  const std::optional<uint32_t> value = m_pSettings->ReadDword("port");
  return value ? static_cast<uint16_t>(*value & 0xFFFFu) : kDefaultPort;
}

std::shared_ptr<const OriginPolicy> CAppData::GetOriginPolicy() const {
  MutexLock lock(m_policyMutex);
  return m_pOriginPolicy;
}

void CAppData::SetOriginPolicy(std::shared_ptr<const OriginPolicy> policy) {
  if (!policy) {
    policy = std::make_shared<const OriginPolicy>();
  }
  MutexLock lock(m_policyMutex);
  m_pOriginPolicy = std::move(policy);
}

std::shared_ptr<const HostPolicy> CAppData::GetHostPolicy() const {
  MutexLock lock(m_policyMutex);
  return m_pHostPolicy;
}

void CAppData::SetHostPolicy(std::shared_ptr<const HostPolicy> policy) {
  if (!policy) {
    policy = std::make_shared<const HostPolicy>();
  }
  MutexLock lock(m_policyMutex);
  m_pHostPolicy = std::move(policy);
}

ListeningPlace CAppData::GetListening() const {
  MutexLock lock(m_listeningMutex);
  return m_listening;
}

void CAppData::SetListening(ListeningPlace place) {
  MutexLock lock(m_listeningMutex);
  m_listening = std::move(place);
}

}  // namespace qb
