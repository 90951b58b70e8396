// Where the server takes its connections in the current listening cycle:
// nowhere, on its own bound addresses, or through the port broker (registered,
// or waiting while another server of the same user is registered). The
// listener writes it; the status window words it in the desktop's language,
// while Text() gives the one English wording of the log, `--status` and the
// control channel.
//
// Thread contract: a plain value; copies are handed out by CAppData.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qb {

struct ListeningPlace {
  enum class Way { kNowhere, kBound, kRegistered, kWaiting };

  Way way = Way::kNowhere;
  uint16_t port = 0;
  std::vector<std::string> addresses;  // kBound: the bound addresses, in binding order
  std::string broker;                  // kRegistered, kWaiting: the broker's socket path

  // "127.0.0.1 and ::1 port 3210", "port 3210 through the port broker at
  // PATH (registered)", ...; empty for kNowhere.
  std::string Text() const;
};

}  // namespace qb
