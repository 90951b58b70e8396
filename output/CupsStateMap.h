// How the states CUPS reports become the states of a print: a job's state
// read together with its printer's state and reasons. Pure functions, so that
// every pairing can be tested without a scheduler.
//
// A job that has not ended counts as stopped while its printer needs
// attention: the printer is stopped (disabled, paused), or a reason says an
// error, offline or paused. A cancelled or aborted job is aborted; a
// completed one completed.
//
// Thread contract: stateless; any thread (messages are translated through
// QCoreApplication::translate, which any thread may call).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output/PrintOutcome.h"

namespace qb {

// IPP job states (RFC 8011).
inline constexpr int kJobPending = 3;
inline constexpr int kJobHeld = 4;
inline constexpr int kJobProcessing = 5;
inline constexpr int kJobStopped = 6;
inline constexpr int kJobCanceled = 7;
inline constexpr int kJobAborted = 8;
inline constexpr int kJobCompleted = 9;
// IPP printer states.
inline constexpr int kPrinterIdle = 3;
inline constexpr int kPrinterProcessing = 4;
inline constexpr int kPrinterStopped = 5;

struct CupsJobFacts {
  int state = kJobPending;
  std::vector<std::string> reasons;  // job-state-reasons
  std::string message;               // job-printer-state-message, else job-state-message
};

struct CupsPrinterFacts {
  std::string name;
  std::string description;           // printer-info
  int state = kPrinterIdle;
  bool accepting = true;
  std::vector<std::string> reasons;  // printer-state-reasons without "none"
  std::string message;               // printer-state-message
  std::vector<std::string> media;    // media-supported
};

struct MappedJob {
  PrintState state = PrintState::kQueued;
  std::vector<std::string> reasons;
  std::string message;
};

// The print state of `job` on `printer` (nullopt: the printer could not be
// read), on the queue named `printerName`.
MappedJob MapCupsJob(const CupsJobFacts& job, const std::optional<CupsPrinterFacts>& printer,
                     const std::string& printerName);

// "idle", "printing" or "stopped" for an IPP printer state.
std::string PrinterStateName(int state);
// The reasons CleanReasons keeps, joined by ", "; empty when there are none.
std::string ReasonsText(const std::vector<std::string>& reasons);
// `reasons` without "none" and empty ones.
std::vector<std::string> CleanReasons(const std::vector<std::string>& reasons);
// True when the printer cannot print now: stopped, or a reason says so.
bool NeedsAttention(const CupsPrinterFacts& printer);
// A reason without its severity suffix ("media-empty-error" -> "media-empty").
std::string ReasonKeyword(const std::string& reason);
// The reason that says most: the first error, else the first one; empty when
// there is none.
std::string MainReason(const std::vector<std::string>& reasons);
// What `reason` means for the printer, to follow its name ("is out of
// labels"), in the desktop's language.
std::string ReasonText(const std::string& reason);

}  // namespace qb
