#include "server/ListenConfig.h"

#include <memory>
#include <vector>

#include "util/Log.h"

namespace qb {

BindAddress ListenConfig::Apply(CAppData& app, uint16_t port) {
  const std::optional<std::string> bindValue = app.GetServerValue("bindAddress");
  const std::optional<std::string> originsValue = app.GetServerValue("allowedOrigins");
  const bool bindChanged = !m_bRead || bindValue != m_lastBindAddress;
  const bool originsChanged = !m_bRead || originsValue != m_lastAllowedOrigins;
  m_bRead = true;
  m_lastBindAddress = bindValue;
  m_lastAllowedOrigins = originsValue;

  BindAddress address = ParseBindAddress(bindValue, port);
  if (!address.valid && bindChanged) {
    LogError("bindAddress \"" + bindValue.value_or("") +
             "\" is not an IPv4 or IPv6 address; listening on 127.0.0.1 only");
  }

  std::vector<std::string> rejected;
  auto policy = std::make_shared<const OriginPolicy>(OriginPolicy::FromConfig(originsValue, &rejected));
  if (originsChanged) {
    for (const std::string& entry : rejected) {
      LogError("allowedOrigins entry \"" + entry +
               "\" is not an origin (scheme://host[:port] or null); it is left out");
    }
    if (!policy->AllowsAny()) {
      std::string list;
      for (const std::string& origin : policy->Origins()) {
        list += (list.empty() ? "" : " ") + origin;
      }
      LogInfo(list.empty() ? std::string("requests carrying an Origin header are refused")
                           : "requests carrying an Origin header are answered only for " + list);
    }
  }
  app.SetOriginPolicy(std::move(policy));
  return address;
}

}  // namespace qb
