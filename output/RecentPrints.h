// The outcomes of the last few print jobs of this run, kept in memory (the
// oldest dropped beyond kKept).
//
// Thread contract: any thread; the records are guarded by m_mutex.
#pragma once

#include <deque>

#include "output/PrintHistory.h"
#include "util/Mutex.h"
#include "util/ThreadSafety.h"

namespace qb {

class RecentPrints : public PrintHistory {
 public:
  static constexpr size_t kKept = 10;

  // Adds `record`, stamped with the local time now.
  void Add(PrintRecord record);
  std::vector<PrintRecord> Latest() const override;

 private:
  mutable Mutex m_mutex;
  std::deque<PrintRecord> m_records GUARDED_BY(m_mutex);  // the newest first
};

}  // namespace qb
