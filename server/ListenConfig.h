// The browser-facing settings of one listening cycle: reads [Server]
// bindAddress, allowedHosts, allowedOrigins, deniedOrigins and askForNewSites afresh,
// installs the host and origin policies in the application context and gives
// the addresses to bind. Each cycle checks the whole configuration
// (ServerConfig); what cannot be used, and listening where other computers
// can reach the server, is logged once, not again at every retry of a failed
// bind, until its text changes.
//
// Thread contract: owned and used by the listener thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "context/CAppData.h"
#include "server/BindAddress.h"

namespace qb {

class ListenConfig {
 public:
  virtual ~ListenConfig() = default;

  // Reads the settings, sets the policies of `app` and returns the addresses
  // to bind with `port`.
  BindPlan Apply(CAppData& app, uint16_t port);

 private:
  bool m_bRead = false;  // the values below hold what was read last
  std::optional<std::string> m_lastValues[4];
  bool m_bLastAsks = true;
};

}  // namespace qb
