#include "update/HttpGet.h"

#include "util/CatalogueUrl.h"

namespace qb {

std::string HttpGet(const std::string& url, const std::string* savePath,
                    const std::atomic<int>* stop, std::string* failure) {
  std::string ignored;
  std::string& reason = failure != nullptr ? *failure : ignored;
  // Also what is left of a catalogue path when no catalogue server is set.
  if (!IsAbsoluteUrl(url)) {
    reason = url.empty() ? "no URL" : "not an http URL";
    return {};
  }
  HttpTransfer transfer;
  if (!transfer.Prepare(url, savePath, kDefaultMaxDownloadRate, stop, &reason)) {
    return {};
  }
  return transfer.Finish(curl_easy_perform(transfer.Handle()), &reason);
}

}  // namespace qb
