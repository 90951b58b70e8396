#include "output/CupsStateMap.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <string_view>

namespace qb {
namespace {

constexpr std::array<std::string_view, 3> kSeverities = {"-error", "-warning", "-report"};

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Reasons that keep a printer from printing whatever their severity.
bool BlocksPrinting(const std::string& reason) {
  if (EndsWith(reason, "-error")) {
    return true;
  }
  const std::string keyword = ReasonKeyword(reason);
  return keyword == "offline" || keyword == "paused" || keyword == "media-empty" ||
         keyword == "media-needed" || keyword == "media-jam";
}

QString Tr(const char* text) { return QCoreApplication::translate("qb::CupsStateMap", text); }

}  // namespace

std::string PrinterStateName(int state) {
  switch (state) {
    case kPrinterProcessing:
      return "printing";
    case kPrinterStopped:
      return "stopped";
    default:
      return "idle";
  }
}

std::vector<std::string> CleanReasons(const std::vector<std::string>& reasons) {
  std::vector<std::string> kept;
  for (const std::string& reason : reasons) {
    if (!reason.empty() && reason != "none") {
      kept.push_back(reason);
    }
  }
  return kept;
}

std::string ReasonsText(const std::vector<std::string>& reasons) {
  std::string text;
  for (const std::string& reason : CleanReasons(reasons)) {
    text += (text.empty() ? "" : ", ") + reason;
  }
  return text;
}

bool NeedsAttention(const CupsPrinterFacts& printer) {
  if (printer.state == kPrinterStopped) {
    return true;
  }
  const std::vector<std::string> reasons = CleanReasons(printer.reasons);
  return std::any_of(reasons.begin(), reasons.end(), BlocksPrinting);
}

std::string ReasonKeyword(const std::string& reason) {
  for (const std::string_view severity : kSeverities) {
    if (EndsWith(reason, severity)) {
      return reason.substr(0, reason.size() - severity.size());
    }
  }
  return reason;
}

std::string MainReason(const std::vector<std::string>& reasons) {
  const std::vector<std::string> kept = CleanReasons(reasons);
  const auto error = std::find_if(kept.begin(), kept.end(), BlocksPrinting);
  if (error != kept.end()) {
    return *error;
  }
  return kept.empty() ? std::string() : kept.front();
}

std::string ReasonText(const std::string& reason) {
  const std::string keyword = ReasonKeyword(reason);
  QString text;
  if (keyword == "media-empty" || keyword == "media-needed") {
    text = Tr("is out of labels");
  } else if (keyword == "media-jam") {
    text = Tr("has a label jam");
  } else if (keyword == "offline") {
    text = Tr("is offline");
  } else if (keyword == "paused") {
    text = Tr("is paused");
  } else if (keyword == "door-open" || keyword == "cover-open") {
    text = Tr("is open");
  } else if (keyword == "toner-empty" || keyword == "marker-supply-empty") {
    text = Tr("is out of ink or toner");
  } else {
    text = Tr("needs attention");
  }
  return text.toStdString();
}

MappedJob MapCupsJob(const CupsJobFacts& job, const std::optional<CupsPrinterFacts>& printer,
                     const std::string& printerName) {
  MappedJob mapped;
  const QString name = QString::fromStdString(printerName);
  const bool active = job.state == kJobPending || job.state == kJobHeld ||
                      job.state == kJobProcessing || job.state == kJobStopped;
  if (active && (job.state == kJobStopped || (printer && NeedsAttention(*printer)))) {
    mapped.state = PrintState::kStopped;
    if (!printer || !NeedsAttention(*printer)) {
      // The scheduler stopped this job alone (its device could not be
      // opened, a filter failed): the printer has no reason to give, the
      // job's message says why.
      mapped.reasons = printer ? CleanReasons(printer->reasons) : std::vector<std::string>{};
      QString message =
          QCoreApplication::translate("qb::CupsStateMap", "%1 stopped the job").arg(name);
      if (!job.message.empty()) {
        message += ": " + QString::fromStdString(job.message);
      }
      mapped.message = message.toStdString();
      return mapped;
    }
    mapped.reasons = CleanReasons(printer->reasons);
    const std::string reason = MainReason(mapped.reasons);
    QString message = name + " " + QString::fromStdString(ReasonText(reason));
    if (!printer->message.empty()) {
      message += ": " + QString::fromStdString(printer->message);
    }
    mapped.message = message.toStdString();
    return mapped;
  }
  switch (job.state) {
    case kJobPending:
    case kJobHeld:
      mapped.state = PrintState::kQueued;
      break;
    case kJobProcessing:
      mapped.state = PrintState::kPrinting;
      break;
    case kJobCanceled:
    case kJobAborted: {
      mapped.state = PrintState::kAborted;
      mapped.reasons = CleanReasons(job.reasons);
      QString message = job.state == kJobCanceled
                            ? QCoreApplication::translate("qb::CupsStateMap",
                                                          "the job was cancelled on %1")
                                  .arg(name)
                            : QCoreApplication::translate("qb::CupsStateMap",
                                                          "%1 aborted the job")
                                  .arg(name);
      if (!job.message.empty()) {
        message += ": " + QString::fromStdString(job.message);
      }
      mapped.message = message.toStdString();
      break;
    }
    case kJobCompleted:
      mapped.state = PrintState::kCompleted;
      break;
    default:
      mapped.state = PrintState::kQueued;
  }
  return mapped;
}

}  // namespace qb
