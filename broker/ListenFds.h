// The sockets a service manager passed to this process (systemd's socket
// activation: LISTEN_PID names this process, LISTEN_FDS counts descriptors
// from 3 on). The variables are removed once read, so that nothing started
// from here takes them for its own.
//
// Thread contract: call once, at start-up, before other threads run.
#pragma once

#include <vector>

#include "util/UniqueFd.h"

namespace qb {

// The passed descriptors, made close-on-exec; none when the variables are
// absent, malformed or meant for another process.
std::vector<UniqueFd> TakeListenFds();

}  // namespace qb
