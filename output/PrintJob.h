// The print job of a finished print session, run on the UI thread: presets the
// application's printer selection from the session (page size, orientation,
// copies), asks the user through the print dialog when dialogs are shown, and
// prints every page filling the physical sheet at the printer's resolution.
// Without dialogs the job goes straight to the selected printer (the default
// CUPS destination unless a dialog chose another).
//
// Outcomes: a session that is not new, has no pages or finds no printer ends
// in state 2 with its pages deleted and nothing printed; a cancelled dialog
// leaves it in state 1 with its pages; a printed session ends in state 2.
//
// Thread contract: UI thread only (the dialog runs a nested event loop, so
// other posted work may run while it is open).
#pragma once

#include <QPrinter>

class QWidget;

namespace qb {

class CPrintSession;

// True when `printer` has somewhere to print to: a named destination, or a
// file when it writes PDF.
bool HasPrinter(const QPrinter& printer);

// Writes the session's page size, orientation and copies into `printer`.
void PresetPrinter(const CPrintSession& session, QPrinter* printer);

// Runs the print job of `session` (null: nothing) on `printer`, the printer
// selection the application keeps for its whole life.
void PrintSession(CPrintSession* session, QPrinter* printer, bool showDialog);

}  // namespace qb
