#include "server/ListenConfig.h"

#include <memory>

#include "app/ServerConfig.h"
#include "util/Log.h"

namespace qb {

BindAddress ListenConfig::Apply(CAppData& app, uint16_t port) {
  // Every cycle checks the whole configuration; what is wrong in it is logged
  // once, again only after its text changed.
  ServerConfig::Load().LogNewWarnings();

  const std::optional<std::string> bindValue = app.GetServerValue("bindAddress");
  const std::optional<std::string> originsValue = app.GetServerValue("allowedOrigins");
  const bool originsChanged = !m_bRead || originsValue != m_lastAllowedOrigins;
  m_bRead = true;
  m_lastAllowedOrigins = originsValue;

  auto policy =
      std::make_shared<const OriginPolicy>(OriginPolicy::FromConfig(originsValue, nullptr));
  if (originsChanged && !policy->AllowsAny()) {
    std::string list;
    for (const std::string& origin : policy->Origins()) {
      list += (list.empty() ? "" : " ") + origin;
    }
    LogInfo(list.empty() ? std::string("requests carrying an Origin header are refused")
                         : "requests carrying an Origin header are answered only for " + list);
  }
  app.SetOriginPolicy(std::move(policy));
  return ParseBindAddress(bindValue, port);
}

}  // namespace qb
