#include "catalog/PaperInfosImport.h"

#include <unordered_set>

#include "catalog/CatalogueDb.h"
#include "catalog/InitDataBase.h"
#include "catalog/Statement.h"

namespace qb {
namespace {

constexpr FieldKind N = FieldKind::kNumber;
constexpr FieldKind T = FieldKind::kText;

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

PaperInfosImport::PaperInfosImport()
    : TableImporter(ImportTable{
          "paper_infos",
          {
              {"id", N}, {"paperInfoId", N}, {"category_id", N},
              {"goods", T}, {"goodsPartsNo", T}, {"searchNo", T}, {"searchSelNo", T},
              {"goodsBackFront", T}, {"goodsAllEdit", T}, {"goodsDisplayLabel", T},
              {"goodsThumbName", T}, {"goodsThumbName2", T}, {"goodsPictFileName", T},
              {"goodsPictPartsLabel", T}, {"goodsPictPartsCut", T},
              {"goodsPictPartsBending", T}, {"goodsPictPartsDesign1", T},
              {"goodsPictPartsDesign2", T}, {"goodsPictMask", T}, {"goodsType", T},
              {"goodsLabel", T},
              {"goodsDrawSize", N}, {"paperSizeInfo_id", N}, {"templateInfo_id", N},
              {"paperFieldsNo", N}, {"paperFieldsHNo", N}, {"paperFieldsWNo", N},
              {"paperOnePieceH", N}, {"paperOnePieceW", N}, {"paperUnfiliedSpaceU", N},
              {"paperUnfiliedSpaceD", N}, {"paperUnfiliedSpaceL", N},
              {"paperUnfiliedSpaceR", N}, {"paperUnfiliedSpaceUD", N},
              {"paperUnfiliedSpaceLR", N},
              {"partsUrl", T}, {"create_at", T}, {"update_at", T}, {"jan_code", T},
          },
          {},
          {},
      }) {}

bool PaperInfosImport::ImportXml(std::string_view answer, const PictureSink& pictures,
                                 const std::atomic<int>* stop) const {
  pugi::xml_document document;
  if (!ParseAnswer(answer, &document)) {
    return false;
  }
  const pugi::xml_node root = AnswerRoot(document);
  return root && ImportRoot(root, pictures, stop);
}

bool PaperInfosImport::ImportRoot(const pugi::xml_node& root, const PictureSink& pictures,
                                  const std::atomic<int>* stop) const {
  AddColumnIfMissing("paper_infos", "jan_code");
  std::vector<int> indexes;
  for (const PictureField& field : kPictures) {
    indexes.push_back(FieldIndex(field.name));
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
  return TableImporter::ImportRoot(root, hook, stop);
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
