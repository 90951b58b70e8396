#include "output/CupsPrinterDirectory.h"

#include <cups/cups.h>

#include <algorithm>
#include <string_view>

namespace qb {

std::vector<PrinterStatus> CupsPrinterDirectory::Printers() const {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<PrinterStatus> printers;
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& dest = dests[i];
    if (dest.instance != nullptr) {
      continue;  // an lpoptions instance of a queue listed already
    }
    PrinterStatus printer;
    printer.name = dest.name;
    printer.isDefault = dest.is_default != 0;
    const char* state = cupsGetOption("printer-state", dest.num_options, dest.options);
    // IPP printer-state: 3 idle, 4 processing, 5 stopped.
    const std::string_view stateText = state != nullptr ? state : "3";
    printer.state = stateText == "5"   ? PrinterStatus::State::kStopped
                    : stateText == "4" ? PrinterStatus::State::kPrinting
                                       : PrinterStatus::State::kIdle;
    const char* reasons = cupsGetOption("printer-state-reasons", dest.num_options, dest.options);
    printer.reasons = reasons != nullptr && reasons[0] != '\0' ? reasons : "none";
    const char* accepting =
        cupsGetOption("printer-is-accepting-jobs", dest.num_options, dest.options);
    printer.accepting = accepting == nullptr || std::string_view(accepting) != "false";
    printers.push_back(std::move(printer));
  }
  cupsFreeDests(count, dests);
  std::stable_sort(printers.begin(), printers.end(),
                   [](const PrinterStatus& a, const PrinterStatus& b) {
                     return a.isDefault && !b.isDefault;
                   });
  return printers;
}

}  // namespace qb
