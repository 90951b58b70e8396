// The print queues as the CUPS scheduler lists them, with the user's default
// destination first, asked through CupsScheduler: the questions of one call
// take at most kBudget together, so a slow or stopped scheduler makes the
// call fail with the reason instead of holding the UI thread.
//
// Thread contract: stateless; any thread.
#pragma once

#include <chrono>

#include "output/PrinterDirectory.h"

namespace qb {

class CupsPrinterDirectory : public PrinterDirectory {
 public:
  static constexpr std::chrono::seconds kBudget{2};

  Result<std::vector<PrinterStatus>> Printers() const override;
};

}  // namespace qb
