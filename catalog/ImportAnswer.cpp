#include "catalog/ImportAnswer.h"

#include <string>

#include "catalog/CatalogueTable.h"
#include "catalog/DocumentRecords.h"
#include "util/Log.h"

namespace qb {

bool ImportAnswer(const pugi::xml_node& root, const PaperInfosImport::PictureSink& pictures,
                  const std::atomic<bool>* stop) {
  DocumentRecords records(root);
  return ImportAnswer(root, records, pictures, stop);
}

bool ImportAnswer(const pugi::xml_node& root, RecordSource& records,
                  const PaperInfosImport::PictureSink& pictures, const std::atomic<bool>* stop) {
  const CatalogueTable* table = FindCatalogueTable(root.name());
  if (table == nullptr || !table->Imported()) {
    // The usage log, for one, is never taken from the server.
    LogDebug("ignored an answer for table " + std::string(root.name()));
    return true;
  }
  const PaperInfosImport products;
  if (table == &products.Table()) {
    return products.ImportRecords(records, pictures, stop);
  }
  return TableImporter(*table).ImportRecords(records, {}, stop);
}

}  // namespace qb
