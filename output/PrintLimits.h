// What the print sessions of the process may hold, and the gate in front of
// full page decodes.
//
// A session holds at most kMaxSessionPages pages and kMaxSessionBytes of
// encoded page images; all sessions together at most kMaxStoredPageBytes; at
// most kMaxOpenSessions sessions are open (made and not yet ended) at once. An
// open session that nothing has touched for PrintSessionIdleLimit() expires:
// its pages are dropped. A page image whose header gives more than
// kMaxPagePixels (an A4 page at 600 dpi fits) is refused before it is decoded,
// and at most kMaxParallelDecodes page images are decoded at once, on threads
// of their own that run at a lower priority than the workers, so that a flood
// of large pages leaves the processor to the other requests.
//
// Thread contract: any thread; the byte count is atomic; RunDecode may be
// called from any number of threads at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qb {

inline constexpr int kMaxSessionPages = 100000;
inline constexpr size_t kMaxSessionBytes = size_t{128} * 1024 * 1024;
inline constexpr size_t kMaxStoredPageBytes = size_t{192} * 1024 * 1024;
inline constexpr int kMaxOpenSessions = 16;
inline constexpr int64_t kMaxPagePixels = int64_t{36} * 1000 * 1000;
inline constexpr int kMaxPageSide = 32768;
inline constexpr int kMaxParallelDecodes = 1;
inline constexpr std::chrono::seconds kDefaultSessionIdleLimit{600};

// kDefaultSessionIdleLimit, or the whole seconds given by the environment
// variable QUILLBOX_PRINT_IDLE_SECONDS (for tests).
std::chrono::seconds PrintSessionIdleLimit();

// Counts `bytes` of stored page images; false (nothing counted) when that
// would pass kMaxStoredPageBytes.
bool ReservePageBytes(size_t bytes);
void ReleasePageBytes(size_t bytes);
size_t StoredPageBytes();

// Runs `decode` on one of the decode threads and returns when it has run;
// waits while they are all busy.
void RunDecode(const std::function<void()>& decode);

}  // namespace qb
