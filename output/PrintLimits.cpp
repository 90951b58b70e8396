#include "output/PrintLimits.h"

#include <atomic>
#include <cstdlib>

#include "util/LowPriorityPool.h"

namespace qb {
namespace {

std::atomic<size_t> g_storedPageBytes{0};

}  // namespace

std::chrono::seconds PrintSessionIdleLimit() {
  static const std::chrono::seconds limit = [] {
    if (const char* text = std::getenv("QUILLBOX_PRINT_IDLE_SECONDS")) {
      char* end = nullptr;
      const long value = std::strtol(text, &end, 10);
      if (end != text && *end == '\0' && value > 0) {
        return std::chrono::seconds(value);
      }
    }
    return kDefaultSessionIdleLimit;
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
