// The catalogue server client: one HTTP GET per call, into memory or into a
// file. It knows nothing of the catalogue; callers build the URL and read the
// result.
//
// Every call: agent "thisapp", status 200 only (no redirects followed, a
// redirect status is a failure), no cache, no retry. A blank in the URL is
// sent as "%20". Requests go through the configured catalogue proxy, if any
// (catalogueProxy()). Only http:// and https:// URLs are fetched (anything
// else fails without a request, so a catalogue path without a configured
// catalogue server goes nowhere); https verifies
// the certificate chain but not the host name. A connection that is not made
// within 30 s, or a transfer slower than 1 byte/s for 60 s, fails (the 60 s
// can be shortened through the environment variable
// QUILLBOX_HTTP_STALL_SECONDS, for tests). A set stop flag ends the transfer
// as a failure.
//
// Thread contract: calls are independent and may run on several threads at
// once; each owns its handles and its file.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace qb {

// The largest body a memory-mode call takes.
inline constexpr size_t kMaxMemoryBodyBytes = size_t{256} * 1024 * 1024;

// Memory mode (`savePath` null): the whole body decoded from UTF-8 (invalid
// sequences become U+FFFD, decoding stops at a zero byte); empty on any
// failure and for an empty body. A body larger than kMaxMemoryBodyBytes is a
// failure: an announced length over it is refused before any body byte is
// read, and an unannounced one ends the transfer as soon as it passes it.
//
// File mode: the file is created (or emptied) before any network access and
// the body is written in chunks of at most 4096 bytes with a 10 ms pause after
// each, within the limits of DiskBudget (a body over kMaxDownloadBytes, or one
// that would leave less than the reserve free, fails and is logged). "ok" when
// at least one chunk was written and no write failed; empty
// when the file could not be created, the request failed, the status was not
// 200, the body was empty or a write failed. A failed download leaves the
// (empty or partial) file behind.
//
// On failure `failure`, when given, receives the reason ("status 404",
// "Could not connect to server", ...).
std::string HttpGet(const std::string& url, const std::string* savePath = nullptr,
                    const std::atomic<int>* stop = nullptr, std::string* failure = nullptr);

}  // namespace qb
