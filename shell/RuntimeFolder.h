// The per-user runtime folder that holds the single-instance lock and the
// control socket: $XDG_RUNTIME_DIR when it is an absolute path, else
// /tmp/quillbox-<uid>, created with mode 0700 and refused when it is not a
// real folder owned by this user.
//
// Thread contract: stateless; any thread (reads the environment).
#pragma once

#include <string>

#include "util/Result.h"

namespace qb {

// The runtime folder; with `create` the fallback folder is made when missing.
// Fails with a one-line reason when there is no usable folder.
Result<std::string> GetRuntimeFolder(bool create);

// The single-instance lock file and the control socket inside `runtime`.
std::string InstanceLockPath(const std::string& runtime);
std::string ControlSocketPath(const std::string& runtime);

}  // namespace qb
