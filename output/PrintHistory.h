// The last print sessions and what became of them, as the status window
// lists them. This is the seam between the window and whatever knows the
// outcomes (OutcomeHistory).
//
// Thread contract: implementations are safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace qb {

struct PrintRecord {
  std::string id;       // the session's identifier
  std::string sheet;    // "100 × 50 mm"
  int pages = 0;
  std::string outcome;  // the state and message, "completed", "failed: ..."
  std::string when;     // local time, "HH:MM:SS"
};

class PrintHistory {
 public:
  virtual ~PrintHistory() = default;
  // The latest sessions, the newest first.
  virtual std::vector<PrintRecord> Latest() const = 0;
};

}  // namespace qb
