// Reads a large answer's records on a thread of its own, a few batches ahead
// of the thread that stores them, so that reading an answer and storing it
// overlap. The records come out in order with the values the source gives,
// copied into the batch they travel in.
//
// Thread contract: made and read (Next) on the storing thread. The reading
// thread is its own: it alone uses `source` and its reader until the pipe is
// destroyed, and the destructor stops and joins it, so that the source and
// the table must outlive the pipe.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "catalog/CatalogueTable.h"
#include "catalog/RecordSource.h"
#include "util/Mutex.h"

namespace qb {

class RecordPipe {
 public:
  RecordPipe(RecordSource& source, const CatalogueTable& table);
  ~RecordPipe();
  RecordPipe(const RecordPipe&) = delete;
  RecordPipe& operator=(const RecordPipe&) = delete;

  // As RecordSource::Next: the next record's values (valid until the next
  // call), null after the last, nullopt when the source could not read a
  // record.
  std::optional<const std::vector<std::string_view>*> Next();

 private:
  // Records in a row: their values' bytes back to back, and where each value
  // ends.
  struct Batch {
    std::string bytes;
    std::vector<size_t> ends;
    size_t records = 0;
    bool failed = false;  // the record after these could not be read
    bool last = false;    // no record follows these
  };

  void ReadAhead(RecordSource& source, const CatalogueTable& table);

  const size_t m_fields;
  Mutex m_mutex;
  std::condition_variable m_changed;  // a batch was queued or taken, or the reading is to stop
  std::deque<Batch> m_queue GUARDED_BY(m_mutex);
  bool m_stop GUARDED_BY(m_mutex) = false;
  // The batch being handed out, on the storing thread.
  Batch m_current;
  size_t m_nextRecord = 0;
  size_t m_nextValue = 0;
  std::vector<std::string_view> m_values;
  std::thread m_reader;  // started last
};

}  // namespace qb
