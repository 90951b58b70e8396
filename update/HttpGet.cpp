#include "update/HttpGet.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "util/CatalogueUrl.h"
#include "util/DiskBudget.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kDefaultStallSeconds = 60;
constexpr long kChunkBytes = 4096;
constexpr auto kChunkPause = std::chrono::milliseconds(10);

long StallSeconds() {
  static const long seconds = [] {
    const char* text = std::getenv("QUILLBOX_HTTP_STALL_SECONDS");
    if (text != nullptr) {
      char* end = nullptr;
      const long value = std::strtol(text, &end, 10);
      if (end != text && *end == '\0' && value > 0) {
        return value;
      }
    }
    return kDefaultStallSeconds;
  }();
  return seconds;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  CURL* curl = nullptr;
  int fd = -1;                 // file mode when valid
  std::string bytes;           // memory mode
  bool wroteChunk = false;
  bool writeFailed = false;
  bool statusRefused = false;
  bool tooLarge = false;       // memory mode: the body passed kMaxMemoryBodyBytes
  const std::atomic<int>* stop = nullptr;
  const std::string* path = nullptr;  // file mode: where the body goes
  uint64_t written = 0;               // file mode: body bytes written
  uint64_t nextRoomCheck = 0;         // file mode: when free space is looked at next
  std::string diskRefusal;            // file mode: why the body may not be written
};

constexpr uint64_t kRoomCheckBytes = 4 * 1024 * 1024;

// File mode: why `length` more body bytes may not be written; empty when they
// may.
std::string DiskRefusal(Transfer& transfer, size_t length) {
  if (transfer.written + length > kMaxDownloadBytes) {
    return "larger than " + std::to_string(kMaxDownloadBytes) + " bytes";
  }
  if (transfer.written >= transfer.nextRoomCheck) {
    uint64_t needed = length;
    if (transfer.written == 0) {
      curl_off_t announced = -1;
      curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      needed = announced > 0 ? static_cast<uint64_t>(announced) : length;
    }
    transfer.nextRoomCheck = transfer.written + kRoomCheckBytes;
    if (!RoomFor(*transfer.path, needed)) {
      return "would leave less than " + std::to_string(DiskReserve(*transfer.path)) +
             " bytes free";
    }
  }
  return {};
}

// Nothing of the body is taken unless the status is 200; refusing makes the
// transfer fail at once.
bool StatusIsOk(Transfer& transfer) {
  long status = 0;
  curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) {
    transfer.statusRefused = true;
    return false;
  }
  return true;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (!StatusIsOk(transfer)) {
    return 0;
  }
  if (transfer.fd < 0) {
    if (length > kMaxMemoryBodyBytes - transfer.bytes.size()) {
      transfer.tooLarge = true;
      return 0;
    }
    transfer.bytes.append(data, length);
    return length;
  }
  transfer.diskRefusal = DiskRefusal(transfer, length);
  if (!transfer.diskRefusal.empty()) {
    return 0;
  }
  transfer.written += length;
  size_t written = 0;
  while (written < length) {
    const ssize_t n = ::write(transfer.fd, data + written, length - written);
    if (n <= 0) {
      transfer.writeFailed = true;
      return 0;
    }
    written += static_cast<size_t>(n);
  }
  transfer.wroteChunk = true;
  std::this_thread::sleep_for(kChunkPause);
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& transfer = *static_cast<Transfer*>(user);
  return transfer.stop != nullptr && transfer.stop->load() != 0 ? 1 : 0;
}

// The URL as sent: every blank becomes "%20".
std::string EncodeBlanks(const std::string& url) {
  std::string encoded;
  encoded.reserve(url.size());
  for (const char c : url) {
    if (c == ' ') {
      encoded += "%20";
    } else {
      encoded += c;
    }
  }
  return encoded;
}

}  // namespace

std::string HttpGet(const std::string& url, const std::string* savePath,
                    const std::atomic<int>* stop, std::string* failure) {
  std::string ignored;
  std::string& reason = failure != nullptr ? *failure : ignored;
  // Also what is left of a catalogue path when no catalogue server is set.
  if (!IsAbsoluteUrl(url)) {
    reason = url.empty() ? "no URL" : "not an http URL";
    return {};
  }
  Transfer transfer;
  transfer.stop = stop;
  UniqueFd file;
  if (savePath != nullptr) {
    file.Reset(::open(savePath->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid()) {
      reason = "cannot create " + *savePath;
      LogError(reason);
      return {};
    }
    transfer.fd = file.Get();
    transfer.path = savePath;
  }

  GlobalInit();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) {
    reason = "no HTTP client";
    return {};
  }
  transfer.curl = curl.get();
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers(
      curl_slist_append(curl_slist_append(nullptr, "Cache-Control: no-cache"), "Pragma: no-cache"),
      &curl_slist_free_all);

  const std::string sent = EncodeBlanks(url);
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, sent.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "thisapp");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  if (!catalogueProxy().empty()) {
    curl_easy_setopt(c, CURLOPT_PROXY, catalogueProxy().c_str());
  }
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kChunkBytes);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, StallSeconds());
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(savePath == nullptr ? kMaxMemoryBodyBytes
                                                               : kMaxDownloadBytes));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (rc != CURLE_OK || status != 200) {
    if (!transfer.diskRefusal.empty()) {
      reason = "refused: the download " + transfer.diskRefusal;
    } else if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
      reason = "body larger than " +
               std::to_string(savePath == nullptr ? kMaxMemoryBodyBytes : kMaxDownloadBytes) +
               " bytes";
    } else if (transfer.writeFailed) {
      reason = "cannot write " + *savePath;
    } else {
      reason = rc != CURLE_OK && !transfer.statusRefused ? std::string(curl_easy_strerror(rc))
                                                         : "status " + std::to_string(status);
    }
    LogDebug("GET " + sent + " failed: " + reason);
    // A transfer cut short after some chunks is a failure too: the file is
    // incomplete.
    return {};
  }
  if (savePath != nullptr) {
    if (!transfer.wroteChunk || transfer.writeFailed) {
      reason = transfer.writeFailed ? "cannot write " + *savePath : "empty body";
      return {};
    }
    return "ok";
  }
  if (transfer.bytes.empty()) {
    reason = "empty body";
  }
  return Utf8ToWide(transfer.bytes);
}

}  // namespace qb
