#include "output/PrinterDirectory.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// The tray shows a problem when the default queue cannot print, by the same
// rule as the status report: stopped, needing attention, or refusing jobs.
TEST(PrinterDirectory, TheDefaultQueueThatCannotPrintIsAProblem) {
  struct Row {
    const char* name;
    PrinterStatus printer;
    bool problem;
  };
  PrinterStatus idle;
  idle.name = "Labels";
  idle.isDefault = true;
  PrinterStatus stopped = idle;
  stopped.state = PrinterStatus::State::kStopped;
  PrinterStatus offline = idle;
  offline.needsAttention = true;
  PrinterStatus refusing = idle;
  refusing.accepting = false;
  PrinterStatus otherStopped = stopped;
  otherStopped.isDefault = false;
  const Row rows[] = {
      {"idle", idle, false},           {"stopped", stopped, true},
      {"offline, idle", offline, true}, {"refusing jobs", refusing, true},
      {"not the default", otherStopped, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(DefaultPrinterStopped({row.printer}), row.problem);
  }
}

}  // namespace
}  // namespace qb
