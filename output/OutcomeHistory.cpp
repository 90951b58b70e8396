#include "output/OutcomeHistory.h"

#include <ctime>

namespace qb {

std::vector<PrintRecord> OutcomeHistory::Latest() const {
  const std::vector<PrintOutcome> outcomes = m_outcomes.Snapshot();  // oldest first
  std::vector<PrintRecord> records;
  for (auto it = outcomes.rbegin(); it != outcomes.rend() && records.size() < kShown; ++it) {
    PrintRecord record;
    record.id = it->id;
    record.sheet = it->sheet;
    record.pages = it->pages;
    record.outcome = std::string(StateName(it->state)) +
                     (it->message.empty() ? std::string() : ": " + it->message);
    const std::time_t started = std::chrono::system_clock::to_time_t(it->started);
    std::tm local{};
    char stamp[16] = {};
    if (localtime_r(&started, &local) != nullptr) {
      std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    }
    record.when = stamp;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace qb
