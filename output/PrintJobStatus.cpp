#include "output/PrintJobStatus.h"

#include <QCoreApplication>

#include "output/CupsScheduler.h"
#include "output/JsonText.h"
#include "util/Log.h"

namespace qb {

std::optional<PrintOutcome> RefreshPrintOutcome(PrintOutcomes& outcomes, const std::string& id,
                                                std::chrono::steady_clock::duration budget) {
  std::optional<PrintOutcome> outcome = outcomes.Find(id);
  if (!outcome || !InCups(outcome->state) || IsFinal(outcome->state) || outcome->job <= 0) {
    return outcome;
  }
  CupsScheduler scheduler(budget);
  const Result<CupsJobFacts> job = scheduler.Job(outcome->job);
  if (!job) {
    const std::string message =
        QCoreApplication::translate("qb::PrintJobStatus", "state unknown: %1")
            .arg(QString::fromStdString(job.Error()))
            .toStdString();
    outcomes.Update(id, [&](PrintOutcome& kept) { kept.message = message; });
    return outcomes.Find(id);
  }
  std::optional<CupsPrinterFacts> printer;
  if (Result<CupsPrinterFacts> facts = scheduler.Printer(outcome->printer)) {
    printer = std::move(*facts);
  }
  const MappedJob mapped = MapCupsJob(*job, printer, outcome->printer);
  // The change runs under the outcomes' lock: of two callers asking at once,
  // one sees the state change and logs it.
  bool changed = false;
  outcomes.Update(id, [&](PrintOutcome& kept) {
    changed = kept.state != mapped.state;
    kept.state = mapped.state;
    kept.reasons = mapped.reasons;
    kept.message = mapped.message;
  });
  if (changed) {
    const std::string what = "print session " + id + ": CUPS job " +
                             std::to_string(outcome->job) + " on " + outcome->printer + " " +
                             std::string(StateName(mapped.state)) +
                             (mapped.message.empty() ? std::string() : ": " + mapped.message);
    if (NeedsNotice(mapped.state)) {
      LogError(what);
    } else {
      LogInfo(what);
    }
  }
  return outcomes.Find(id);
}

std::string PrintersJson(const std::string& defaultName,
                         const std::vector<CupsPrinterFacts>& printers) {
  std::string json = "{\"default\":" + JsonQuoted(defaultName) + ",\"printers\":[";
  bool first = true;
  for (const CupsPrinterFacts& printer : printers) {
    json += first ? "{" : ",{";
    first = false;
    json += "\"name\":" + JsonQuoted(printer.name) +
            ",\"description\":" + JsonQuoted(printer.description) +
            ",\"state\":" + JsonQuoted(PrinterStateName(printer.state)) +
            ",\"accepting\":" + (printer.accepting ? "true" : "false") +
            ",\"reasons\":" + JsonStrings(CleanReasons(printer.reasons)) +
            ",\"media\":" + JsonStrings(printer.media) + "}";
  }
  return json + "]}";
}

}  // namespace qb
