#include "catalog/RecordPipe.h"

#include "catalog/RecordReader.h"
#include "util/MutexLock.h"

namespace qb {
namespace {

constexpr size_t kRecordsPerBatch = 256;
constexpr size_t kBatchesAhead = 4;

}  // namespace

RecordPipe::RecordPipe(RecordSource& source, const CatalogueTable& table)
    : m_fields(table.fields.size()),
      m_reader([this, &source, &table] { ReadAhead(source, table); }) {}

RecordPipe::~RecordPipe() {
  {
    MutexLock lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  m_reader.join();
}

void RecordPipe::ReadAhead(RecordSource& source, const CatalogueTable& table) {
  RecordReader reader(table);
  for (;;) {
    Batch batch;
    while (batch.records < kRecordsPerBatch) {
      const std::optional<const std::vector<std::string_view>*> read = source.Next(reader);
      if (!read || *read == nullptr) {
        batch.failed = !read;
        batch.last = true;
        break;
      }
      for (const std::string_view value : **read) {
        batch.bytes.append(value);
        batch.ends.push_back(batch.bytes.size());
      }
      ++batch.records;
    }
    const bool last = batch.last;
    {
      MutexLock lock(m_mutex);
      lock.Wait(m_changed,
                [this]() REQUIRES(m_mutex) { return m_stop || m_queue.size() < kBatchesAhead; });
      if (m_stop) {
        return;
      }
      m_queue.push_back(std::move(batch));
    }
    m_changed.notify_all();
    if (last) {
      return;
    }
  }
}

std::optional<const std::vector<std::string_view>*> RecordPipe::Next() {
  while (m_nextRecord == m_current.records) {
    if (m_current.last) {
      if (m_current.failed) {
        return std::nullopt;
      }
      return nullptr;
    }
    {
      MutexLock lock(m_mutex);
      lock.Wait(m_changed, [this]() REQUIRES(m_mutex) { return !m_queue.empty(); });
      m_current = std::move(m_queue.front());
      m_queue.pop_front();
    }
    m_changed.notify_all();
    m_nextRecord = 0;
    m_nextValue = 0;
  }
  m_values.clear();
  for (size_t i = 0; i < m_fields; ++i, ++m_nextValue) {
    const size_t begin = m_nextValue == 0 ? 0 : m_current.ends[m_nextValue - 1];
    m_values.emplace_back(m_current.bytes.data() + begin, m_current.ends[m_nextValue] - begin);
  }
  ++m_nextRecord;
  return &m_values;
}

}  // namespace qb
