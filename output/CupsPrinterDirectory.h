// The print queues as CUPS lists them (cupsGetDests2: the user's default from
// lpoptions included) with their printer-state, printer-state-reasons and
// printer-is-accepting-jobs options.
//
// Thread contract: stateless; any thread.
#pragma once

#include "output/PrinterDirectory.h"

namespace qb {

class CupsPrinterDirectory : public PrinterDirectory {
 public:
  std::vector<PrinterStatus> Printers() const override;
};

}  // namespace qb
