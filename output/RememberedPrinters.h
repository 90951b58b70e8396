// The printer remembered for each sheet size, as the status window shows it
// and lets the user forget it. This is the seam between the window and
// whatever keeps those choices; ConfiguredPrinters reads them from the
// user's configuration file.
//
// Thread contract: UI thread only.
#pragma once

#include <string>
#include <vector>

#include "util/Result.h"

namespace qb {

struct RememberedPrinter {
  std::string sheet;    // the sheet size as kept ("100x50": millimetres)
  std::string printer;  // the print queue
};

class RememberedPrinters {
 public:
  virtual ~RememberedPrinters() = default;
  virtual std::vector<RememberedPrinter> List() const = 0;
  // Forgets the printer of `sheet`: the next print of that size goes to the
  // default again.
  virtual Result<> Forget(const std::string& sheet) = 0;
};

}  // namespace qb
