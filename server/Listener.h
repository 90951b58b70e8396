// Starting and ending the one listener of the process.
//
// Thread contract: StartListener and JoinListener are called from the thread
// that owns the application context (the UI thread). The listener runs on a
// thread of its own; JoinListener returns once it and every connection worker
// have ended, which happens after the context's stop flag is set.
#pragma once

#include "context/CAppData.h"

namespace qb {

// Starts the listener on `app` unless one has been started already in this
// process. Returns true when this call started it.
bool StartListener(CAppData& app);

// Waits for the listener thread to end. Does nothing when none was started or
// it has been joined already.
void JoinListener();

}  // namespace qb
