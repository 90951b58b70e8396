#include "output/PrintOutcome.h"

#include <QCoreApplication>

#include "output/CupsStateMap.h"
#include "output/JsonText.h"

namespace qb {

std::string_view StateName(PrintState state) {
  switch (state) {
    case PrintState::kOpen:
      return "open";
    case PrintState::kWaiting:
      return "waiting";
    case PrintState::kDialog:
      return "dialog";
    case PrintState::kCancelled:
      return "cancelled";
    case PrintState::kFailed:
      return "failed";
    case PrintState::kQueued:
      return "queued";
    case PrintState::kPrinting:
      return "printing";
    case PrintState::kStopped:
      return "stopped";
    case PrintState::kAborted:
      return "aborted";
    case PrintState::kCompleted:
      return "completed";
  }
  return "failed";
}

bool IsFinal(PrintState state) {
  return state == PrintState::kCancelled || state == PrintState::kFailed ||
         state == PrintState::kAborted || state == PrintState::kCompleted;
}

bool NeedsNotice(PrintState state) {
  return state == PrintState::kFailed || state == PrintState::kStopped ||
         state == PrintState::kAborted;
}

bool InCups(PrintState state) {
  return state == PrintState::kQueued || state == PrintState::kPrinting ||
         state == PrintState::kStopped || state == PrintState::kAborted ||
         state == PrintState::kCompleted;
}

std::string OutcomeJson(const PrintOutcome& outcome) {
  return "{\"id\":" + JsonQuoted(outcome.id) + ",\"state\":" +
         JsonQuoted(StateName(outcome.state)) + ",\"printer\":" + JsonQuoted(outcome.printer) +
         ",\"job\":" + std::to_string(outcome.job) + ",\"pages\":" +
         std::to_string(outcome.pages) + ",\"copies\":" + std::to_string(outcome.copies) +
         ",\"reasons\":" + JsonStrings(outcome.reasons) +
         ",\"message\":" + JsonQuoted(outcome.message) + "}";
}

std::string NoticeTitle() {
  return QCoreApplication::translate("qb::PrintOutcome", "Label not printed").toStdString();
}

std::string NoticeDetail(const PrintOutcome& outcome) {
  const QString printer = QString::fromStdString(outcome.printer);
  if (outcome.state == PrintState::kStopped) {
    const std::string reason = MainReason(outcome.reasons);
    const QString keyword = QString::fromStdString(ReasonKeyword(reason));
    const QString what = QString::fromStdString(ReasonText(reason));
    if (reason.empty()) {
      return outcome.message;
    }
    return QCoreApplication::translate("qb::PrintOutcome", "%1 %2 (%3)")
        .arg(printer, what, keyword)
        .toStdString();
  }
  return outcome.message;
}

std::string NoticeText(const PrintOutcome& outcome) {
  return NoticeTitle() + ": " + NoticeDetail(outcome);
}

}  // namespace qb
