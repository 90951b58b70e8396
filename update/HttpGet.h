// The catalogue server client for single requests: one HTTP GET per call,
// into memory (HttpGet) or into a file (HttpDownload), made at once on the
// caller's thread. It knows nothing of the catalogue; callers build the URL
// and read the result. What every transfer does (agent, status 200 only,
// time-outs, certificates, stop flag) is said in update/HttpTransfer.h.
//
// Thread contract: calls are independent and may run on several threads at
// once; each owns its handle and its file.
#pragma once

#include <atomic>
#include <string>

#include "update/HttpTransfer.h"
#include "util/Result.h"

namespace qb {

// Memory mode: the whole body decoded from UTF-8 (invalid sequences become
// U+FFFD, decoding stops at a zero byte). Fails for an empty body as for any
// failed request. A body larger than kMaxMemoryBodyBytes is a failure: an
// announced length over it is refused before any body byte is read, and an
// unannounced one ends the transfer as soon as it passes it.
//
// The reason of a failure is the result's Error() ("status 404", "Could not
// connect to server", "empty body", ...).
Result<std::string> HttpGet(const std::string& url, const std::atomic<bool>* stop = nullptr);

// File mode: saves the body of `url` at `savePath`. The file is created (or
// emptied) before any network access and the body is written in chunks of at
// most 4096 bytes, at most kDefaultMaxDownloadRate bytes per second, within
// the limits of DiskBudget (a body over kMaxDownloadBytes, or one that would
// leave less than the reserve free, fails). Done when at least one chunk was
// written and no write failed; fails when the file could not be created, the
// request failed, the status was not 200, the body was empty or a write
// failed. A failed download leaves the (empty or partial) file behind.
Result<> HttpDownload(const std::string& url, const std::string& savePath,
                      const std::atomic<bool>* stop = nullptr);

}  // namespace qb
