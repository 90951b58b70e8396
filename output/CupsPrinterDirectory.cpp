#include "output/CupsPrinterDirectory.h"

#include <algorithm>

#include "output/CupsScheduler.h"

namespace qb {

Result<std::vector<PrinterStatus>> CupsPrinterDirectory::Printers() const {
  CupsScheduler cups(kBudget);
  Result<std::vector<CupsPrinterFacts>> queues = cups.Printers();
  if (!queues) {
    return Failure{queues.Error()};
  }
  const Result<std::string> fallback = cups.DefaultPrinter();
  if (!fallback) {
    return Failure{fallback.Error()};
  }
  std::vector<PrinterStatus> printers;
  for (const CupsPrinterFacts& queue : *queues) {
    PrinterStatus printer;
    printer.name = queue.name;
    printer.isDefault = queue.name == *fallback;
    printer.state = queue.state == kPrinterStopped      ? PrinterStatus::State::kStopped
                    : queue.state == kPrinterProcessing ? PrinterStatus::State::kPrinting
                                                        : PrinterStatus::State::kIdle;
    const std::vector<std::string> reasons = CleanReasons(queue.reasons);
    for (const std::string& reason : reasons) {
      printer.reasons += (printer.reasons.empty() ? "" : ", ") + reason;
    }
    if (printer.reasons.empty()) {
      printer.reasons = "none";
    }
    printer.accepting = queue.accepting;
    printers.push_back(std::move(printer));
  }
  std::stable_sort(printers.begin(), printers.end(),
                   [](const PrinterStatus& a, const PrinterStatus& b) {
                     return a.isDefault && !b.isDefault;
                   });
  return printers;
}

}  // namespace qb
