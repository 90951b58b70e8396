// Remembered printers kept in the [Print] group of the user's configuration
// file, one key per sheet size ("100x50=Office"); an empty value remembers
// nothing. Forget empties the key through the configuration writer.
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
