#include "output/PrinterDirectory.h"

#include <algorithm>

namespace qb {

bool DefaultPrinterStopped(const std::vector<PrinterStatus>& printers) {
  return std::any_of(printers.begin(), printers.end(), [](const PrinterStatus& printer) {
    return printer.isDefault && (printer.state == PrinterStatus::State::kStopped ||
                                 printer.needsAttention || !printer.accepting);
  });
}

}  // namespace qb
