// The remembered printers of PrinterMemory ([Print] <W>x<H>mm=<queue> in the
// configuration files), for the status window; a forgotten one is logged.
//
// Thread contract: UI thread only (see RememberedPrinters).
#pragma once

#include "output/RememberedPrinters.h"

namespace qb {

class ConfiguredPrinters : public RememberedPrinters {
 public:
  std::vector<RememberedPrinter> List() const override;
  Result<> Forget(const std::string& sheet) override;
};

}  // namespace qb
