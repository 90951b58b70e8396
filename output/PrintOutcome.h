// What became of one print session, as "print/status" tells it and the
// desktop notification says it: the state, the printer and CUPS job, the
// pages and copies, the reasons CUPS gives and a short human message.
//
// States in order of a print's life: open (pages arriving), waiting (ended by
// the client, the print job is queued), dialog (the print dialog is open);
// then cancelled (the user cancelled), failed (never reached a printer), or
// in CUPS: queued, printing, stopped (the printer needs attention), aborted
// (CUPS aborted or cancelled it) and completed. cancelled, failed, aborted and
// completed are final.
//
// Thread contract: plain values; any thread.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class PrintState {
  kOpen,
  kWaiting,
  kDialog,
  kCancelled,
  kFailed,
  kQueued,
  kPrinting,
  kStopped,
  kAborted,
  kCompleted,
};

// The state's name in answers ("open", "waiting", ... "completed").
std::string_view StateName(PrintState state);
// True for the states nothing follows.
bool IsFinal(PrintState state);
// True for the states the user is told about on the desktop.
bool NeedsNotice(PrintState state);
// True for the states that are read from CUPS (a job exists).
bool InCups(PrintState state);

struct PrintOutcome {
  std::string id;
  PrintState state = PrintState::kOpen;
  std::string printer;               // queue name, or "file NAME" for print to file
  int job = 0;                       // CUPS job id; 0 before there is one
  int pages = 0;
  int copies = 1;
  std::vector<std::string> reasons;  // CUPS printer-state-reasons (stopped) or job reasons
  std::string message;               // short, in the desktop's language
  // Not part of the answer; for the status window's list.
  std::string sheet;                 // "100 × 50 mm", as the page asked
  std::chrono::system_clock::time_point started;  // when the page opened it
};

// The "print/status" answer body for `outcome`.
std::string OutcomeJson(const PrintOutcome& outcome);

// The desktop notification text for an outcome that needs one: "Label not
// printed: " followed by NoticeDetail().
std::string NoticeText(const PrintOutcome& outcome);
// What the notification says after its title ("Label_Printer is out of
// labels (media-empty)").
std::string NoticeDetail(const PrintOutcome& outcome);
// The notification's title, in the desktop's language.
std::string NoticeTitle();

}  // namespace qb
