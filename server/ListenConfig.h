// The browser-facing settings of one listening cycle: reads [Server]
// bindAddress and allowedOrigins afresh, installs the origin policy in the
// application context and gives the address to bind. Each cycle checks the
// whole configuration (ServerConfig); what cannot be used is logged once, not
// again at every retry of a failed bind, until its text changes.
//
// Thread contract: owned and used by the listener thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/CAppData.h"
#include "server/BindAddress.h"

namespace qb {

class ListenConfig {
 public:
  virtual ~ListenConfig() = default;

  // Reads both settings, sets the origin policy of `app` and returns the
  // address to bind with `port`.
  BindAddress Apply(CAppData& app, uint16_t port);

 private:
  bool m_bRead = false;  // the values below hold what was read last
  std::optional<std::string> m_lastAllowedOrigins;
};

}  // namespace qb
