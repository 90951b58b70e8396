#include "update/HttpGet.h"

#include "util/CatalogueUrl.h"

namespace qb {
namespace {

// One GET of `url`, into memory when `savePath` is null.
Result<std::string> Get(const std::string& url, const std::string* savePath,
                        const std::atomic<bool>* stop) {
  // Also what is left of a catalogue path when no catalogue server is set.
  if (!IsAbsoluteUrl(url)) {
    return Failure{url.empty() ? "no URL" : "not an http URL"};
  }
  HttpTransfer transfer;
  if (Result<> prepared = transfer.Prepare(url, savePath, kDefaultMaxDownloadRate, stop);
      !prepared) {
    return Failure{prepared.Error()};
  }
  return transfer.Finish(curl_easy_perform(transfer.Handle()));
}

}  // namespace

Result<std::string> HttpGet(const std::string& url, const std::atomic<bool>* stop) {
  return Get(url, nullptr, stop);
}

Result<> HttpDownload(const std::string& url, const std::string& savePath,
                      const std::atomic<bool>* stop) {
  if (Result<std::string> saved = Get(url, &savePath, stop); !saved) {
    return Failure{saved.Error()};
  }
  return {};
}

}  // namespace qb
