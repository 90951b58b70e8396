#include "server/ListenConfig.h"

#include <memory>
#include <vector>

#include "context/ServerConfig.h"
#include "util/Log.h"

namespace qb {

BindPlan ListenConfig::Apply(CAppData& app, uint16_t port) {
  // Every cycle checks the whole configuration; what is wrong in it (a
  // bindAddress, allowedHosts or origin entry that cannot be used among it) is
  // logged there with its file and line, once, again only after its text
  // changed.
  // The settings below come from the same reading of the files.
  const ServerConfig config = ServerConfig::Load();
  config.LogNewWarnings();

  const std::optional<std::string> values[4] = {
      config.ServerText("bindAddress"), config.ServerText("allowedHosts"),
      config.ServerText("allowedOrigins"), config.ServerText("deniedOrigins")};
  const auto& [bindValue, hostsValue, originsValue, deniedValue] = values;
  bool changed = !m_bRead || m_bLastAsks != config.AsksForNewSites();
  m_bLastAsks = config.AsksForNewSites();
  for (size_t i = 0; i < 4; ++i) {
    changed = changed || values[i] != m_lastValues[i];
    m_lastValues[i] = values[i];
  }
  m_bRead = true;

  BindPlan plan = ParseBindAddress(bindValue, port);
  std::vector<std::string> addresses;
  for (const BindAddress& address : plan.addresses) {
    addresses.push_back(address.text);
  }
  auto hosts =
      std::make_shared<const HostPolicy>(HostPolicy::FromConfig(addresses, hostsValue, nullptr));
  auto origins = std::make_shared<const OriginPolicy>(
      OriginPolicy::FromConfig(originsValue, deniedValue, nullptr)
          .WithAsking(config.AsksForNewSites()));

  if (changed) {
    if (plan.Exposed()) {
      LogWarning("bindAddress " + plan.Text() +
                 " lets other computers reach the server; only requests whose Host is one of " +
                 "this computer's names or is listed in allowedHosts are served");
    }
    if (origins->AllowsAny()) {
      LogInfo("allowedOrigins is *: every web page may use the server");
    } else {
      std::string list;
      for (const std::string& origin : origins->Origins()) {
        list += (list.empty() ? "" : " ") + origin;
      }
      LogInfo(list.empty() ? std::string("no web origin is allowed yet")
                           : "web origins allowed: " + list);
    }
    if (!origins->AsksAboutNew()) {
      LogInfo("asking about new web origins is turned off ([Server] askForNewSites); origins "
              "not in allowedOrigins are refused");
    }
  }
  app.SetHostPolicy(std::move(hosts));
  app.SetOriginPolicy(std::move(origins));
  return plan;
}

}  // namespace qb
