#include "catalog/PaperInfosImport.h"

#include <unordered_set>

#include "catalog/AnswerRecords.h"
#include "catalog/CatalogueDb.h"
#include "catalog/DocumentRecords.h"
#include "catalog/CatalogueSchema.h"
#include "catalog/Statement.h"

namespace qb {
namespace {

struct PictureField {
  std::string_view name;
  bool onlyServerPath;  // queued only when the value starts with "/"
};

constexpr PictureField kPictures[] = {
    {"goodsThumbName", false},        {"goodsThumbName2", false},
    {"goodsPictFileName", false},     {"goodsPictPartsLabel", false},
    {"goodsPictPartsCut", true},      {"goodsPictPartsBending", true},
    {"goodsPictPartsDesign1", false}, {"goodsPictPartsDesign2", false},
    {"goodsPictMask", true},
};

}  // namespace

PaperInfosImport::PaperInfosImport() : TableImporter(*FindCatalogueTable("paper_infos")) {}

bool PaperInfosImport::ImportXml(std::string_view answer, const PictureSink& pictures,
                                 const std::atomic<bool>* stop) const {
  if (std::optional<AnswerRecords> records = AnswerRecords::Scan(answer)) {
    return ImportRecords(*records, pictures, stop);
  }
  std::optional<pugi::xml_document> document = ParseAnswer(answer);
  if (!document) {
    return false;
  }
  const pugi::xml_node root = AnswerRoot(*document);
  return root && ImportRoot(root, pictures, stop);
}

bool PaperInfosImport::ImportRoot(const pugi::xml_node& root, const PictureSink& pictures,
                                  const std::atomic<bool>* stop) const {
  DocumentRecords records(root);
  return ImportRecords(records, pictures, stop);
}

bool PaperInfosImport::ImportRecords(RecordSource& source, const PictureSink& pictures,
                                     const std::atomic<bool>* stop) const {
  AddColumnIfMissing("paper_infos", "jan_code");
  std::vector<int> indexes;
  for (const PictureField& field : kPictures) {
    indexes.push_back(Table().FieldIndex(field.name));
  }
  const RecordHook hook = [&](const std::vector<std::string_view>& values) {
    if (!pictures) {
      return;
    }
    for (size_t i = 0; i < indexes.size(); ++i) {
      const std::string_view value = values[static_cast<size_t>(indexes[i])];
      if (!kPictures[i].onlyServerPath || value.starts_with('/')) {
        pictures(value);
      }
    }
  };
  return TableImporter::ImportRecords(source, hook, stop);
}

std::vector<std::string> PaperInfosImport::StoredPictures(CatalogueDb& db) {
  std::string sql = "SELECT ";
  for (const PictureField& field : kPictures) {
    sql.append(field.name).append(", ");
  }
  sql.resize(sql.size() - 2);
  sql.append(" FROM paper_infos ORDER BY id");
  std::vector<std::string> pictures;
  std::unordered_set<std::string> seen;
  Statement statement = db.Prepare(sql);
  while (statement.Valid() && statement.NextRow()) {
    for (size_t i = 0; i < std::size(kPictures); ++i) {
      const std::optional<std::string_view> value = statement.Text(static_cast<int>(i));
      if (!value || value->empty() || (kPictures[i].onlyServerPath && !value->starts_with('/'))) {
        continue;
      }
      if (seen.emplace(*value).second) {
        pictures.emplace_back(*value);
      }
    }
  }
  return pictures;
}

}  // namespace qb
