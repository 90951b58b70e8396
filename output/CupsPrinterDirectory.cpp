#include "output/CupsPrinterDirectory.h"

#include <algorithm>

#include "output/CupsScheduler.h"

namespace qb {

Result<std::vector<PrinterStatus>> CupsPrinterDirectory::Printers() const {
  const Result<CupsScheduler::Destinations> destinations =
      CupsScheduler(kBudget).AllDestinations();
  if (!destinations) {
    return Failure{destinations.Error()};
  }
  std::vector<PrinterStatus> printers;
  for (const CupsPrinterFacts& queue : destinations->printers) {
    PrinterStatus printer;
    printer.name = queue.name;
    printer.isDefault = queue.name == destinations->defaultName;
    printer.state = queue.state == kPrinterStopped      ? PrinterStatus::State::kStopped
                    : queue.state == kPrinterProcessing ? PrinterStatus::State::kPrinting
                                                        : PrinterStatus::State::kIdle;
    printer.reasons = ReasonsText(queue.reasons);
    printer.accepting = queue.accepting;
    printer.needsAttention = NeedsAttention(queue);
    printers.push_back(std::move(printer));
  }
  std::stable_sort(printers.begin(), printers.end(),
                   [](const PrinterStatus& a, const PrinterStatus& b) {
                     return a.isDefault && !b.isDefault;
                   });
  return printers;
}

}  // namespace qb
