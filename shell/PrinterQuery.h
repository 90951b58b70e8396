// Asks a PrinterDirectory on a thread of its own, so that the UI thread never
// waits on the print system (a scheduler that hangs costs the window stale
// rows, not a frozen desktop). One question is under way at a time; asking
// again meanwhile asks once more when it ends, so the answer shown is never
// older than the last Ask().
//
// Thread contract: created, asked and destroyed on the UI thread; `answered`
// runs there, never after destruction. The directory must be safe to call
// from the query's thread while others use it, and outlive this object. The
// destructor waits for a question under way (bounded by the directory's own
// budget).
#pragma once

#include <QObject>
#include <functional>
#include <thread>
#include <vector>

#include "output/PrinterDirectory.h"
#include "util/Result.h"

namespace qb {

class PrinterQuery : public QObject {
 public:
  using Answer = Result<std::vector<PrinterStatus>>;

  PrinterQuery(const PrinterDirectory* directory, std::function<void(const Answer&)> answered);
  ~PrinterQuery() override;
  PrinterQuery(const PrinterQuery&) = delete;
  PrinterQuery& operator=(const PrinterQuery&) = delete;

  // Asks the directory (nothing when there is none).
  void Ask();

 private:
  void Start();
  void Answered(const Answer& answer);

  const PrinterDirectory* m_pDirectory;
  std::function<void(const Answer&)> m_answered;
  std::thread m_worker;
  bool m_bAsking = false;     // a question is under way
  bool m_bAskAgain = false;   // Ask() came while it was
};

}  // namespace qb
