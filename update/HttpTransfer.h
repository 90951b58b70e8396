// One GET from the catalogue server on a kept curl handle, into memory or into
// a file, for callers that run the transfer themselves: HttpGet performs it
// at once, the download queue drives several at a time on one multi handle so
// that connections are kept and shared.
//
// Every transfer: agent "thisapp", status 200 only (no redirects followed, a
// redirect status is a failure), no cache, no retry. A blank in the URL is
// sent as "%20". Only http:// and https:// URLs are fetched; https verifies
// the certificate's chain, dates and host name against the system's trust
// store (the file SSL_CERT_FILE names when set, as OpenSSL programs do, and
// the folder /etc/ssl/certs) plus the catalogue's further authority
// (catalogueCaFile, which takes the place of SSL_CERT_FILE when both are set).
// A refused certificate fails the transfer before any request is sent, with
// the reason ("certificate is for other.example, not 127.0.0.1").
// A connection that is not made within 30 s, or a transfer slower than
// 1 byte/s for 60 s, fails (the 60 s can be shortened through the environment
// variable QUILLBOX_HTTP_STALL_SECONDS, for tests). A set stop flag ends the
// transfer as a failure. A file download is held to the limits of
// DiskBudget (kMaxDownloadBytes, and the free space it keeps). Requests go
// through the configured catalogue proxy, if any. Every handle shares the process-wide DNS cache and
// TLS sessions, so a new connection to the same server resumes its session.
//
// Thread contract: one transfer is used by one thread at a time; different
// transfers may run on different threads at once.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/Result.h"
#include "util/UniqueFd.h"

namespace qb {

// The largest body a memory-mode transfer takes.
inline constexpr size_t kMaxMemoryBodyBytes = size_t{256} * 1024 * 1024;
// The cap of one file download, in bytes per second: 4096 bytes per 10 ms.
inline constexpr int64_t kDefaultMaxDownloadRate = 409600;

class HttpTransfer {
 public:
  HttpTransfer();
  ~HttpTransfer();
  // Sets up curl's global state and the shared caches once; every
  // constructor calls it, and so must anyone making other curl handles.
  static void Init();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // Prepares a GET of `url`: memory mode when `savePath` is null, else file
  // mode, creating (or emptying) the file first. A file download is held to
  // `maxRate` bytes per second (0: no cap). Fails when the file cannot be
  // created or there is no handle.
  Result<> Prepare(const std::string& url, const std::string* savePath, int64_t maxRate,
                   const std::atomic<bool>* stop);
  // The easy handle of the prepared transfer.
  CURL* Handle() const { return m_curl; }
  // The outcome once curl has ended the transfer with `code`: in memory mode
  // the body as HttpGet gives it, in file mode an empty text once the file is
  // complete as HttpDownload requires it; closes the file.
  Result<std::string> Finish(CURLcode code);

 private:
  static size_t OnBody(char* data, size_t size, size_t count, void* user);
  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  bool StatusIsOk();
  // File mode: why `length` more body bytes may not be written (the size cap
  // of one download, or the free space the disk budget keeps); empty when
  // they may.
  std::string DiskRefusal(size_t length);
  // Why a transfer ended by a TLS error failed, in one line: the names the
  // certificate is for when the host name did not match, else curl's text.
  std::string TlsRefusal(CURLcode code) const;

  CURL* m_curl = nullptr;
  curl_slist* m_headers = nullptr;
  std::string m_sent;        // the URL as sent
  std::string m_savePath;    // file mode: the file written
  UniqueFd m_file;           // file mode while the transfer runs
  std::string m_bytes;       // memory mode
  bool m_bWroteChunk = false;
  bool m_bWriteFailed = false;
  bool m_bStatusRefused = false;
  bool m_bTooLarge = false;  // memory mode: the body passed kMaxMemoryBodyBytes
  uint64_t m_written = 0;        // file mode: body bytes written
  uint64_t m_nextRoomCheck = 0;  // file mode: when the free space is looked at next
  std::string m_diskRefusal;     // file mode: why the body may not be written
  const std::atomic<bool>* m_pStop = nullptr;
  char m_errorText[CURL_ERROR_SIZE] = {};  // curl's detail of the last failure
};

}  // namespace qb
