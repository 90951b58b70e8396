// The status window's "Recent prints": the newest print outcomes the print
// manager keeps, each with the state and message "print/status" gives.
//
// Thread contract: any thread (the outcomes guard themselves); the outcomes
// must outlive the history.
#pragma once

#include <vector>

#include "output/PrintHistory.h"
#include "output/PrintOutcomes.h"

namespace qb {

class OutcomeHistory : public PrintHistory {
 public:
  static constexpr size_t kShown = 10;

  explicit OutcomeHistory(PrintOutcomes& outcomes) : m_outcomes(outcomes) {}

  std::vector<PrintRecord> Latest() const override;

 private:
  PrintOutcomes& m_outcomes;
};

}  // namespace qb
