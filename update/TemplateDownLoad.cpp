#include "update/TemplateDownLoad.h"

#include <pugixml.hpp>

#include "catalog/TableImporter.h"
#include "update/HttpGet.h"
#include "update/UpdateProtocol.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"

namespace qb {

std::string TemplateServerPath(const std::string& url) {
  const size_t slash = url.rfind('/');
  return "/template/" + (slash == std::string::npos ? url : url.substr(slash + 1));
}

void TemplateDownLoad::DownloadTemplates(DownloadDataBase& queue,
                                         const std::string& partsNo) const {
  const std::string list = HttpGet(catalogueBaseUrl() + "/template_infos/list?partsNo=" + partsNo,
                                   nullptr, queue.StopFlag());
  if (list.empty()) {
    LogError("no template list for product " + partsNo);
    return;
  }
  pugi::xml_document document;
  if (ParseAnswer(list, &document)) {
    for (const pugi::xml_node record : AnswerRoot(document).children()) {
      for (const char* name : {"thumbnailUrl", "templateUrl"}) {
        const pugi::xml_node element = record.child(name);
        if (element) {
          queue.Enqueue(TemplateServerPath(element.child_value()), "", nullptr, OnRequestFailed);
        }
      }
    }
  }
  queue.m_bRunning.store(1);
  queue.m_bAllSucceeded.store(1);
  queue.RunQueue();
}

}  // namespace qb
