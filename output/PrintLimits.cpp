#include "output/PrintLimits.h"

#include <atomic>
#include <optional>

#include "util/EnvNumber.h"
#include "util/LowPriorityPool.h"

namespace qb {
namespace {

std::atomic<size_t> g_storedPageBytes{0};

}  // namespace

std::chrono::seconds PrintSessionIdleLimit() {
  static const std::chrono::seconds limit = [] {
    const std::optional<uint64_t> seconds = EnvNumber("QUILLBOX_PRINT_IDLE_SECONDS");
    return seconds && *seconds > 0 ? std::chrono::seconds(*seconds) : kDefaultSessionIdleLimit;
  }();
  return limit;
}

bool ReservePageBytes(size_t bytes) {
  size_t stored = g_storedPageBytes.load();
  do {
    if (bytes > kMaxStoredPageBytes - stored) {
      return false;
    }
  } while (!g_storedPageBytes.compare_exchange_weak(stored, stored + bytes));
  return true;
}

void ReleasePageBytes(size_t bytes) { g_storedPageBytes.fetch_sub(bytes); }

size_t StoredPageBytes() { return g_storedPageBytes.load(); }

void RunDecode(const std::function<void()>& decode) {
  static LowPriorityPool decoders(kMaxParallelDecodes);
  decoders.Run(decode);
}

}  // namespace qb
