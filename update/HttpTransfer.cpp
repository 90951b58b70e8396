#include "update/HttpTransfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "util/CatalogueUrl.h"
#include "util/DiskBudget.h"
#include "util/EnvNumber.h"
#include "util/Log.h"
#include "util/Text.h"

namespace qb {
namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kDefaultStallSeconds = 60;
constexpr long kChunkBytes = 4096;
// How much of a file download may arrive between two looks at the free space.
constexpr uint64_t kRoomCheckBytes = 4 * 1024 * 1024;

long StallSeconds() {
  static const long seconds = [] {
    const std::optional<uint64_t> value = EnvNumber("QUILLBOX_HTTP_STALL_SECONDS");
    return value && *value > 0 ? static_cast<long>(*value) : kDefaultStallSeconds;
  }();
  return seconds;
}

// The trust store named by SSL_CERT_FILE, as OpenSSL programs honour it; empty
// for the system's. Read once: every transfer asks.
const std::string& CertFileVariable() {
  static const std::string file = [] {
    const char* value = std::getenv("SSL_CERT_FILE");
    return std::string(value != nullptr ? value : "");
  }();
  return file;
}

// The DNS cache and TLS sessions every handle shares, created with curl's
// global state on first use.
class SharedCache {
 public:
  static CURLSH* Get() {
    static SharedCache cache;
    return cache.m_share;
  }

 private:
  SharedCache() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_share = curl_share_init();
    if (m_share != nullptr) {
      curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &Lock);
      curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &Unlock);
      curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
      curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
  }
  ~SharedCache() {
    if (m_share != nullptr) {
      curl_share_cleanup(m_share);
    }
  }
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<SharedCache*>(user)->m_locks.at(static_cast<size_t>(data)).lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* user) {
    static_cast<SharedCache*>(user)->m_locks.at(static_cast<size_t>(data)).unlock();
  }

  CURLSH* m_share = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;  // one per kind of shared data
};

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

bool IsTlsFailure(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return true;
    default:
      return false;
  }
}

// The host names and addresses a certificate is for, from curl's text of its
// subject alternative names ("DNS:a.example, IP Address:10.0.0.1"), else the
// common name of its subject ("CN = a.example, O = ...").
std::vector<std::string> CertificateNames(const curl_slist* fields) {
  std::vector<std::string> names;
  std::string commonName;
  for (const curl_slist* field = fields; field != nullptr; field = field->next) {
    const std::string_view text(field->data);
    constexpr std::string_view kAltNames = "X509v3 Subject Alternative Name:";
    constexpr std::string_view kSubject = "Subject:";
    if (text.starts_with(kAltNames)) {
      std::string_view rest = text.substr(kAltNames.size());
      while (!rest.empty()) {
        const size_t comma = rest.find(',');
        std::string_view name = TrimBlanks(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        for (const std::string_view kind : {"DNS:", "IP Address:"}) {
          if (name.starts_with(kind)) {
            names.emplace_back(TrimBlanks(name.substr(kind.size())));
          }
        }
      }
    } else if (text.starts_with(kSubject)) {
      const size_t cn = text.find("CN = ");
      if (cn != std::string_view::npos) {
        const std::string_view value = text.substr(cn + 5);
        commonName = std::string(value.substr(0, value.find(',')));
      }
    }
  }
  if (names.empty() && !commonName.empty()) {
    names.push_back(commonName);
  }
  return names;
}

}  // namespace

void HttpTransfer::Init() { SharedCache::Get(); }

HttpTransfer::HttpTransfer() {
  CURLSH* share = SharedCache::Get();
  m_curl = curl_easy_init();
  m_headers =
      curl_slist_append(curl_slist_append(nullptr, "Cache-Control: no-cache"), "Pragma: no-cache");
  if (m_curl != nullptr && share != nullptr) {
    curl_easy_setopt(m_curl, CURLOPT_SHARE, share);
  }
  if (m_curl != nullptr) {
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorText);
  }
}

HttpTransfer::~HttpTransfer() {
  if (m_curl != nullptr) {
    curl_easy_cleanup(m_curl);
  }
  curl_slist_free_all(m_headers);
}

Result<> HttpTransfer::Prepare(const std::string& url, const std::string* savePath,
                               int64_t maxRate, const std::atomic<bool>* stop) {
  m_bytes.clear();
  m_bWroteChunk = m_bWriteFailed = m_bStatusRefused = m_bTooLarge = false;
  m_written = 0;
  m_nextRoomCheck = 0;
  m_diskRefusal.clear();
  m_errorText[0] = '\0';
  m_pStop = stop;
  m_savePath = savePath != nullptr ? *savePath : std::string();
  m_file.Reset();
  if (savePath != nullptr) {
    m_file.Reset(::open(savePath->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!m_file.Valid()) {
      LogError("cannot create " + *savePath);
      return Failure{"cannot create " + *savePath};
    }
  }
  if (m_curl == nullptr) {
    return Failure{"no HTTP client"};
  }
  m_sent = EncodeBlanks(url);
  CURL* c = m_curl;
  curl_easy_setopt(c, CURLOPT_URL, m_sent.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "thisapp");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, m_headers);
  if (!catalogueProxy().empty()) {
    curl_easy_setopt(c, CURLOPT_PROXY, catalogueProxy().c_str());
  }
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kChunkBytes);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, StallSeconds());
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  // The certificate's names, for the reason a name is refused.
  curl_easy_setopt(c, CURLOPT_CERTINFO, 1L);
  const std::string& authorities =
      !catalogueCaFile().empty() ? catalogueCaFile() : CertFileVariable();
  curl_easy_setopt(c, CURLOPT_CAINFO, authorities.empty() ? nullptr : authorities.c_str());
  // Over HTTP/2 a transfer waits for a connection it can share rather than
  // opening one more.
  curl_easy_setopt(c, CURLOPT_PIPEWAIT, 1L);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(savePath == nullptr ? kMaxMemoryBodyBytes
                                                               : kMaxDownloadBytes));
  curl_easy_setopt(c, CURLOPT_MAX_RECV_SPEED_LARGE,
                   static_cast<curl_off_t>(savePath != nullptr && maxRate > 0 ? maxRate : 0));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &HttpTransfer::OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  return {};
}

// Nothing of the body is taken unless the status is 200; refusing makes the
// transfer fail at once.
bool HttpTransfer::StatusIsOk() {
  long status = 0;
  curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) {
    m_bStatusRefused = true;
    return false;
  }
  return true;
}

size_t HttpTransfer::OnBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<HttpTransfer*>(user);
  const size_t length = size * count;
  if (!transfer.StatusIsOk()) {
    return 0;
  }
  if (!transfer.m_file.Valid()) {
    if (length > kMaxMemoryBodyBytes - transfer.m_bytes.size()) {
      transfer.m_bTooLarge = true;
      return 0;
    }
    transfer.m_bytes.append(data, length);
    return length;
  }
  transfer.m_diskRefusal = transfer.DiskRefusal(length);
  if (!transfer.m_diskRefusal.empty()) {
    return 0;
  }
  transfer.m_written += length;
  size_t written = 0;
  while (written < length) {
    const ssize_t n = ::write(transfer.m_file.Get(), data + written, length - written);
    if (n <= 0) {
      transfer.m_bWriteFailed = true;
      return 0;
    }
    written += static_cast<size_t>(n);
  }
  transfer.m_bWroteChunk = true;
  return length;
}

std::string HttpTransfer::DiskRefusal(size_t length) {
  if (m_written + length > kMaxDownloadBytes) {
    return "larger than " + std::to_string(kMaxDownloadBytes) + " bytes";
  }
  if (m_written >= m_nextRoomCheck) {
    uint64_t needed = length;
    if (m_written == 0) {
      curl_off_t announced = -1;
      curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
      needed = announced > 0 ? static_cast<uint64_t>(announced) : length;
    }
    m_nextRoomCheck = m_written + kRoomCheckBytes;
    if (!RoomFor(m_savePath, needed)) {
      return "would leave less than " + std::to_string(DiskReserve(m_savePath)) + " bytes free";
    }
  }
  return {};
}

std::string HttpTransfer::TlsRefusal(CURLcode code) const {
  const std::string detail = m_errorText[0] != '\0' ? m_errorText : curl_easy_strerror(code);
  if (code != CURLE_PEER_FAILED_VERIFICATION ||
      detail.find("target host name") == std::string::npos) {
    return detail;
  }
  curl_certinfo* chain = nullptr;
  curl_easy_getinfo(m_curl, CURLINFO_CERTINFO, &chain);
  CURLU* url = curl_url();
  char* host = nullptr;
  if (url != nullptr && curl_url_set(url, CURLUPART_URL, m_sent.c_str(), 0) == CURLUE_OK) {
    curl_url_get(url, CURLUPART_HOST, &host, 0);
  }
  const std::vector<std::string> names = chain != nullptr && chain->num_of_certs > 0
                                             ? CertificateNames(chain->certinfo[0])
                                             : std::vector<std::string>();
  std::string reason = detail;
  if (!names.empty() && host != nullptr) {
    reason = "certificate is for ";
    for (size_t i = 0; i < names.size(); ++i) {
      reason += (i == 0 ? "" : ", ") + names[i];
    }
    reason += std::string(", not ") + host;
  }
  curl_free(host);
  curl_url_cleanup(url);
  return reason;
}

int HttpTransfer::OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& transfer = *static_cast<HttpTransfer*>(user);
  return transfer.m_pStop != nullptr && transfer.m_pStop->load() ? 1 : 0;
}

Result<std::string> HttpTransfer::Finish(CURLcode code) {
  const bool fileMode = m_file.Valid();
  m_file.Reset();
  long status = 0;
  curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
  if (code != CURLE_OK || status != 200) {
    std::string failure;
    if (!m_diskRefusal.empty()) {
      failure = "refused: the download " + m_diskRefusal;
    } else if (m_bTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
      failure = "body larger than " +
                std::to_string(fileMode ? kMaxDownloadBytes : kMaxMemoryBodyBytes) + " bytes";
    } else if (m_bWriteFailed) {
      failure = "cannot write " + m_savePath;
    } else if (IsTlsFailure(code)) {
      failure = TlsRefusal(code);
    } else {
      failure = code != CURLE_OK && !m_bStatusRefused ? std::string(curl_easy_strerror(code))
                                                      : "status " + std::to_string(status);
    }
    LogDebug("GET " + m_sent + " failed: " + failure);
    // A transfer cut short after some chunks is a failure too: the file is
    // incomplete.
    return Failure{std::move(failure)};
  }
  if (fileMode) {
    if (!m_bWroteChunk || m_bWriteFailed) {
      return Failure{m_bWriteFailed ? "cannot write " + m_savePath : "empty body"};
    }
    return std::string();
  }
  std::string text = RepairedUtf8(m_bytes);
  m_bytes = std::string();  // a kept transfer holds no old body
  if (text.empty()) {
    // Nothing before the first zero byte counts as no body as well.
    return Failure{"empty body"};
  }
  return text;
}

}  // namespace qb
