#include "output/RecentPrints.h"

#include <ctime>

#include "util/MutexLock.h"

namespace qb {

void RecentPrints::Add(PrintRecord record) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[16] = {};
  if (localtime_r(&now, &local) != nullptr) {
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  }
  record.when = stamp;
  MutexLock lock(m_mutex);
  m_records.push_front(std::move(record));
  if (m_records.size() > kKept) {
    m_records.pop_back();
  }
}

std::vector<PrintRecord> RecentPrints::Latest() const {
  MutexLock lock(m_mutex);
  return {m_records.begin(), m_records.end()};
}

}  // namespace qb
