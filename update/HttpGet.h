// The catalogue server client for single requests: one HTTP GET per call,
// into memory or into a file, made at once on the caller's thread. It knows
// nothing of the catalogue; callers build the URL and read the result. What
// every transfer does (agent, status 200 only, time-outs, certificates, stop
// flag) is said in update/HttpTransfer.h.
//
// Thread contract: calls are independent and may run on several threads at
// once; each owns its handle and its file.
#pragma once

#include <atomic>
#include <string>

#include "update/HttpTransfer.h"

namespace qb {

// Memory mode (`savePath` null): the whole body decoded from UTF-8 (invalid
// sequences become U+FFFD, decoding stops at a zero byte); empty on any
// failure and for an empty body. A body larger than kMaxMemoryBodyBytes is a
// failure: an announced length over it is refused before any body byte is
// read, and an unannounced one ends the transfer as soon as it passes it.
//
// File mode: the file is created (or emptied) before any network access and
// the body is written in chunks of at most 4096 bytes, at most
// kDefaultMaxDownloadRate bytes per second, within the limits of DiskBudget (a
// body over kMaxDownloadBytes, or one that would leave less than the reserve
// free, fails). "ok" when at least one chunk was written and no write failed;
// empty when the file could not be created, the request failed, the status
// was not 200, the body was empty or a write failed. A failed download leaves
// the (empty or partial) file behind.
//
// On failure `failure`, when given, receives the reason ("status 404",
// "Could not connect to server", ...).
std::string HttpGet(const std::string& url, const std::string* savePath = nullptr,
                    const std::atomic<int>* stop = nullptr, std::string* failure = nullptr);

}  // namespace qb
