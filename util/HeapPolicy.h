// How the server's process heap hands memory back to the system, set once at
// start. Benchmarks that time server code in-process set it too, so that they
// pay what the server pays.
//
// Thread contract: call once, before any other thread is started.
#pragma once

namespace qb {

// Blocks of this size and more get mappings of their own, returned to the
// system as soon as they are freed.
inline constexpr int kLargeBlockBytes = 1024 * 1024;

// Request bodies and page images of megabytes come and go on many worker
// threads. With glibc's adaptive thresholds such blocks would soon be taken
// from the per-thread heaps, whose freed memory is not given back; a fixed
// threshold keeps every large block in a mapping of its own. The free memory
// at the top of a heap is kept up to the same size instead of being given
// back after every request: a catalogue query allocates and frees a few
// hundred KiB, and handing them back each time made every query fault them
// in again (several times the query's own work).
void UseServerHeapPolicy();

}  // namespace qb
