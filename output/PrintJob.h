// The print job of a finished print session, run on the UI thread: presets the
// application's printer selection from the session (page size, orientation,
// copies), asks the user through the print dialog when dialogs are shown, and
// prints every page filling the physical sheet at the printer's resolution.
// Without dialogs the job goes straight to the selected printer (the default
// CUPS destination unless a dialog chose another).
//
// The sheet printed on is the session's: the print dialog resets the paper to
// the chosen printer's default while it opens, so once it is accepted the
// session's page size and orientation are set again, unless the user accepted
// the dialog's printer properties (which open on the session's sheet,
// PrintPropertiesPreset): the paper accepted there is the user's choice.
// The copies are the dialog's (preset from the session).
//
// The printer: the queue remembered for the session's sheet (PrinterMemory)
// when it still exists, else the selection as it is; a confirmed dialog
// remembers its queue for the sheet. A queue's document is drawn into a
// temporary file and handed to CUPS by the job itself, so that the job id
// logged and kept is the one CUPS gave this submission.
//
// Outcomes: every job ends its session in state 2 with its pages deleted (and
// their bytes given back to the all-sessions budget) before it returns:
// sent, cancelled in the dialog, failed, without a printer, or not new. Each
// is logged (dialog opened, cancelled, sent with destination, sheet, copies
// and CUPS job id, or failed and why) and recorded in the outcomes: dialog,
// cancelled, failed with the reason, queued with the job (then followed by
// the watch), or completed for a file. A scheduler that cannot be reached
// fails the print before any dialog opens.
//
// Thread contract: UI thread only (the dialog runs a nested event loop, so
// other posted work may run while it is open).
#pragma once

#include <QPrinter>
#include <QString>
#include <string>

class QWidget;

namespace qb {

class CPrintSession;
class PrintJobWatch;
class PrintOutcomes;

// True when `printer` has somewhere to print to: a named destination, or a
// file when it writes PDF.
bool HasPrinter(const QPrinter& printer);

// Writes the session's page size and orientation into `printer`.
void PresetSheet(const CPrintSession& session, QPrinter* printer);
// PresetSheet, and the session's copies (at least 1).
void PresetPrinter(const CPrintSession& session, QPrinter* printer);

// The print dialog's title: the sheet (width x height in millimetres as it
// lies) and the page count, in the user's language.
QString PrintDialogTitle(const CPrintSession& session, int pageCount);
// The name of the job in the print system: the server, the session, the sheet
// and the page count ("Quillbox print 3 - 100 x 50 mm, 2 pages").
QString PrintJobName(const CPrintSession& session, int pageCount);
// The sheet `printer` is set to, for the log ("A5 148 x 210 mm portrait").
std::string SheetText(const QPrinter& printer);

// Runs the print job of `session` (null: nothing) on `printer`, the printer
// selection the application keeps for its whole life. `outcomes` (may be
// null) records what became of it; `watch` (may be null) follows its CUPS job.
void PrintSession(CPrintSession* session, QPrinter* printer, bool showDialog,
                  PrintOutcomes* outcomes = nullptr, PrintJobWatch* watch = nullptr);

}  // namespace qb
