// Import of the catalogue server's paper_infos answers (the products) into the
// paper_infos table with the fields of its catalogue table entry, jan_code
// included (the column is added first when the table lacks it);
// paperLocationType is never written. After every record, stored or skipped,
// its picture files are handed to the picture sink in a fixed order:
// goodsThumbName, goodsThumbName2, goodsPictFileName, goodsPictPartsLabel,
// goodsPictPartsCut, goodsPictPartsBending, goodsPictPartsDesign1,
// goodsPictPartsDesign2, goodsPictMask; the cut, the bending and the mask only
// when their value starts with "/".
//
// Thread contract: stateless beyond its constant table description; the sink
// runs on the importing thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/TableImporter.h"

namespace qb {

class CatalogueDb;

class PaperInfosImport : public TableImporter {
 public:
  // Receives the server path of one picture file (possibly empty).
  using PictureSink = std::function<void(std::string_view url)>;

  PaperInfosImport();

  bool ImportXml(std::string_view answer, const PictureSink& pictures,
                 const std::atomic<bool>* stop = nullptr) const;
  bool ImportRoot(const pugi::xml_node& root, const PictureSink& pictures,
                  const std::atomic<bool>* stop = nullptr) const;
  bool ImportRecords(RecordSource& source, const PictureSink& pictures,
                     const std::atomic<bool>* stop = nullptr) const;

  // The picture files the stored products name, by the same rules as the
  // sink, each once, empty values left out.
  static std::vector<std::string> StoredPictures(CatalogueDb& db);
};

}  // namespace qb
