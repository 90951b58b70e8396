#include "app/CAppData.h"

#include "update/HttpTransfer.h"
#include "util/Log.h"

namespace qb {
namespace {

// [Catalogue] maxDownloadRate: the cap of one file download in bytes per
// second, 0 for none; read once at start-up.
int64_t ConfiguredDownloadRate() {
  CReg catalogue;
  catalogue.SetKey("Software\\Tavrim\\Quillbox\\Catalogue");
  const std::optional<std::string> text = catalogue.ReadValue("maxDownloadRate");
  if (!text) {
    return kDefaultMaxDownloadRate;
  }
  const std::optional<uint32_t> rate = ParseDword(*text);
  if (!rate) {
    LogError("[Catalogue] maxDownloadRate is not a number of bytes per second: \"" + *text +
             "\"; downloads keep the cap of " + std::to_string(kDefaultMaxDownloadRate));
    return kDefaultMaxDownloadRate;
  }
  return *rate;
}

}  // namespace

CAppData::CAppData()
    : m_pTaskMgr(std::make_unique<CTaskMgr>(this)),
      m_pReg(std::make_unique<CReg>()),
      m_pInitDataBase(std::make_unique<InitDataBase>()),
      m_pPrintMgr(std::make_unique<CPrintMgr>()),
      m_pSaveMgr(std::make_unique<CQxSaveMgr>()),
      m_pDownloadDataBase(std::make_unique<DownloadDataBase>(&m_bStop)),
      m_pOriginPolicy(std::make_shared<const OriginPolicy>()) {
  m_pDownloadDataBase->SetMaxDownloadRate(ConfiguredDownloadRate());
}

CAppData::~CAppData() {
  m_pTaskMgr.reset();
  m_pPrintMgr.reset();
  m_pSaveMgr.reset();
  m_pReg.reset();
}

uint16_t CAppData::GetPort() const {
  if (!m_pReg || m_pReg->Key().empty()) {
    return kDefaultPort;
  }
  const std::optional<uint32_t> value = m_pReg->ReadDword("port");
  return value ? static_cast<uint16_t>(*value & 0xFFFFu) : kDefaultPort;
}

std::optional<std::string> CAppData::GetServerValue(const std::string& name) const {
  if (!m_pReg || m_pReg->Key().empty()) {
    return std::nullopt;
  }
  return m_pReg->ReadValue(name);
}

std::shared_ptr<const OriginPolicy> CAppData::GetOriginPolicy() const {
  std::lock_guard lock(m_policyMutex);
  return m_pOriginPolicy;
}

void CAppData::SetOriginPolicy(std::shared_ptr<const OriginPolicy> policy) {
  if (!policy) {
    policy = std::make_shared<const OriginPolicy>();
  }
  std::lock_guard lock(m_policyMutex);
  m_pOriginPolicy = std::move(policy);
}

}  // namespace qb
