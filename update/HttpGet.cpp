#include "update/HttpGet.h"

namespace qb {

std::string HttpGet(const std::string& url, const std::string* savePath,
                    const std::atomic<int>* stop, std::string* failure) {
  std::string ignored;
  std::string& reason = failure != nullptr ? *failure : ignored;
  if (url.empty()) {
    reason = "no URL";
    return {};
  }
  HttpTransfer transfer;
  if (!transfer.Prepare(url, savePath, kDefaultMaxDownloadRate, stop, &reason)) {
    return {};
  }
  return transfer.Finish(curl_easy_perform(transfer.Handle()), &reason);
}

}  // namespace qb
