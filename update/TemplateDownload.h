// One template request ("dbAccess/TEMPLATE_DOWNLOAD"): asks the catalogue
// server which template and thumbnail files belong to a product and downloads
// them into the data folder's "template" folder under their own file names;
// a ".zip" file is unpacked there and deleted.
//
// Its job on the shared queue forgets nothing, so a file fetched since URLs
// were last forgotten (an update phase or a material request) is not fetched
// again. The product number is percent-encoded in the list URL.
//
// Thread contract: no state; runs on the calling connection thread, which
// also serves the shared queue until its own entries are served.
#pragma once

#include <string>

#include "update/DownloadQueue.h"

namespace qb {

class TemplateDownload {
 public:
  ~TemplateDownload() = default;

  // Fetches the template list of `partsNo`, queues "/template/" + the file
  // name of every thumbnailUrl and templateUrl and serves the queue. An empty
  // list answer ends the request with nothing queued.
  void DownloadTemplates(DownloadQueue& queue, const std::string& partsNo) const;
};

// "/template/" + the part of `url` after its last "/".
std::string TemplateServerPath(const std::string& url);

}  // namespace qb
