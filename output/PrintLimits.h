// What the print sessions of the process may hold, and the gate in front of
// full page decodes.
//
// A session holds at most kMaxSessionPages pages and kMaxSessionBytes of
// encoded page images; all sessions together at most kMaxStoredPageBytes; at
// most kMaxOpenSessions sessions are open (made and not yet ended) at once. An
// open session that nothing has touched for PrintSessionIdleLimit() expires:
// its pages are dropped. A page image whose header gives more than
// kMaxPagePixels (an A4 page at 600 dpi fits) is refused before it is decoded,
// and at most kMaxParallelDecodes page images are decoded at once.
//
// Thread contract: any thread; the byte count is atomic and the decode gate
// is a semaphore.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace qb {

inline constexpr int kMaxSessionPages = 1000;
inline constexpr size_t kMaxSessionBytes = size_t{128} * 1024 * 1024;
inline constexpr size_t kMaxStoredPageBytes = size_t{256} * 1024 * 1024;
inline constexpr int kMaxOpenSessions = 16;
inline constexpr int64_t kMaxPagePixels = int64_t{36} * 1000 * 1000;
inline constexpr int kMaxPageSide = 32768;
inline constexpr int kMaxParallelDecodes = 2;
inline constexpr std::chrono::seconds kDefaultSessionIdleLimit{600};

// kDefaultSessionIdleLimit, or the whole seconds given by the environment
// variable QUILLBOX_PRINT_IDLE_SECONDS (for tests).
std::chrono::seconds PrintSessionIdleLimit();

// Counts `bytes` of stored page images; false (nothing counted) when that
// would pass kMaxStoredPageBytes.
bool ReservePageBytes(size_t bytes);
void ReleasePageBytes(size_t bytes);
size_t StoredPageBytes();

// Holds one of the kMaxParallelDecodes decode slots while it lives (waits for
// one when all are taken).
class DecodeSlot {
 public:
  DecodeSlot();
  ~DecodeSlot();
  DecodeSlot(const DecodeSlot&) = delete;
  DecodeSlot& operator=(const DecodeSlot&) = delete;
};

}  // namespace qb
