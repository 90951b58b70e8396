// Tells the desktop user that a label did not print: a freedesktop
// notification over the session bus, one per outcome it is given. Where no
// session bus or notification service answers, the outcome's log line (made
// where the outcome was recorded) is all there is, and one line says why no
// notification was shown.
//
// Thread contract: UI thread only (the session bus connection is the UI
// thread's). Other threads post to it.
#pragma once

#include "output/PrintOutcome.h"

namespace qb {

// Shows "Label not printed" with the outcome's detail.
void ShowPrintNotice(const PrintOutcome& outcome);

}  // namespace qb
