// Reads from the CUPS scheduler what became of print jobs already handed to
// it, and writes it into the print outcomes; the JSON of the printer list.
// Both "print/status" (when a page asks) and the job watch (while a job of
// this server is unfinished) come through here, so they cannot disagree.
//
// Thread contract: stateless; any thread. Each call makes its own bounded
// connection to the scheduler (CupsScheduler) and so never takes longer than
// the budget it is given.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "output/CupsStateMap.h"
#include "output/PrintOutcomes.h"

namespace qb {

// The outcome of session `id` after asking CUPS about its job when the job is
// in CUPS and not final; nullopt when no outcome of that id is kept. A
// scheduler that cannot be asked leaves the state as it was and says so in
// the message. A new state is logged (an error when the user is told of it).
std::optional<PrintOutcome> RefreshPrintOutcome(PrintOutcomes& outcomes, const std::string& id,
                                                std::chrono::steady_clock::duration budget);

// The "print/printers" answer body for the default destination `defaultName`
// and `printers`.
std::string PrintersJson(const std::string& defaultName,
                         const std::vector<CupsPrinterFacts>& printers);

}  // namespace qb
