#include "catalog/ImportAnswer.h"

#include <string>

#include "catalog/CatalogueTable.h"
#include "util/Log.h"

namespace qb {

bool ImportAnswer(const pugi::xml_node& root, const PaperInfosImport::PictureSink& pictures,
                  const std::atomic<int>* stop) {
  const CatalogueTable* table = FindCatalogueTable(root.name());
  if (table == nullptr || !table->Imported()) {
    // The usage log, for one, is never taken from the server.
    LogDebug("ignored an answer for table " + std::string(root.name()));
    return true;
  }
  const PaperInfosImport products;
  if (table == &products.Table()) {
    return products.ImportRoot(root, pictures, stop);
  }
  return TableImporter(*table).ImportRoot(root, {}, stop);
}

}  // namespace qb
