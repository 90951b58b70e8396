// The print queues of this computer and their state, as the status window and
// the tray icon show them. This is the seam between them and whatever asks
// the print system; CupsPrinterDirectory asks the CUPS scheduler.
//
// Thread contract: Printers() may wait on the print system, for a bounded
// time; implementations are safe to call from several threads at once.
#pragma once

#include <string>
#include <vector>

#include "util/Result.h"

namespace qb {

struct PrinterStatus {
  std::string name;
  bool isDefault = false;
  enum class State { kIdle, kPrinting, kStopped } state = State::kIdle;
  std::string reasons;     // printer-state-reasons joined; empty when all is well
  bool accepting = true;   // printer-is-accepting-jobs
  // It cannot print now although not stopped (offline, out of labels ...),
  // by the same rule print outcomes and the status report use.
  bool needsAttention = false;
};

class PrinterDirectory {
 public:
  virtual ~PrinterDirectory() = default;
  // Every queue, the default first (empty when there is none); the reason
  // when the print system cannot be asked.
  virtual Result<std::vector<PrinterStatus>> Printers() const = 0;
};

// True when the default queue is stopped, needs attention or refuses jobs
// (false when there is no default queue).
bool DefaultPrinterStopped(const std::vector<PrinterStatus>& printers);

}  // namespace qb
