// The printer remembered for each sheet size, as the status window shows it
// and lets the user forget it. This is the seam between the window and
// whatever keeps those choices; ConfiguredPrinters is PrinterMemory's.
//
// Thread contract: UI thread only.
#pragma once

#include <string>
#include <vector>

#include "output/PrinterMemory.h"
#include "util/Result.h"

namespace qb {

class RememberedPrinters {
 public:
  virtual ~RememberedPrinters() = default;
  virtual std::vector<RememberedPrinter> List() const = 0;
  // Forgets the printer of `sheet` (a key of the list): the next print of
  // that size goes to the default again.
  virtual Result<> Forget(const std::string& sheet) = 0;
};

}  // namespace qb
