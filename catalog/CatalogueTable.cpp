#include "catalog/CatalogueTable.h"

namespace qb {
namespace {

constexpr FieldKind N = FieldKind::kNumber;
constexpr FieldKind T = FieldKind::kText;

}  // namespace

const std::vector<CatalogueTable>& CatalogueTables() {
  // The create statements are kept as they have always been written: an
  // existing catalogue's schema text was made by them.
  static const std::vector<CatalogueTable> tables = {
      {
          "kbn_infos",
          "CREATE TABLE IF NOT EXISTS kbn_infos (id INTEGER  PRIMARY KEY, \t\tkbn INTEGER, \t\tkbnId INTEGER, \t\tname TEXT, \t\tcreate_at TEXT, \t\tupdate_at TEXT)",
          "/kbn_infos_count/count",
          {{"id", N}, {"kbn", N}, {"kbnId", N}, {"name", T}, {"create_at", T}, {"update_at", T}},
      },
      {
          "categories",
          "CREATE TABLE IF NOT EXISTS categories (id INTEGER  PRIMARY KEY, \tcategoryId  INTEGER, \tname  TEXT, \tthumbnail  TEXT, \tcreate_at  TEXT, \tupdate_at  TEXT)",
          "/categories_count/count",
          {{"id", N}, {"categoryId", N}, {"name", T}, {"thumbnail", T}, {"create_at", T},
           {"update_at", T}},
      },
      {
          "paper_size_infos",
          "CREATE TABLE IF NOT EXISTS paper_size_infos (id INTEGER  PRIMARY KEY, \t\tpaperSizeId INTEGER, \t\tname  TEXT, \t\tetcId INTEGER, \t\tsizeH float, \t\tsizeW float, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/paper_size_infos_count/count",
          {{"id", N}, {"paperSizeId", N}, {"name", T}, {"etcId", N}, {"sizeH", N}, {"sizeW", N},
           {"create_at", T}, {"update_at", T}},
      },
      {
          "modify_kinds",
          "CREATE TABLE IF NOT EXISTS modify_kinds (id INTEGER  PRIMARY KEY, \tmodifyKind  INTEGER, \tname  TEXT, \tthumbnail  TEXT, \tcreate_at  TEXT, update_at  TEXT)",
          "",
          {},
      },
      {
          "paper_infos",
          "CREATE TABLE IF NOT EXISTS paper_infos (id INTEGER  PRIMARY KEY, \tpaperInfoId INTEGER, \tcategory_id INTEGER, \tgoods  TEXT, \tgoodsPartsNo  TEXT, \tsearchNo  TEXT, \tsearchSelNo  TEXT, \tgoodsBackFront  TEXT, \tgoodsAllEdit  TEXT, \tgoodsDisplayLabel  TEXT, \tgoodsThumbName  TEXT, goodsThumbName2  TEXT, goodsPictFileName  TEXT, goodsPictPartsLabel  TEXT, goodsPictPartsCut  TEXT, goodsPictPartsBending  TEXT, goodsPictPartsDesign1  TEXT, goodsPictPartsDesign2  TEXT, goodsPictMask  TEXT, goodsType  TEXT, goodsLabel  TEXT, goodsDrawSize INTEGER, paperSizeInfo_id INTEGER, templateInfo_id INTEGER, paperFieldsNo INTEGER, paperLocationType INTEGER, paperFieldsHNo INTEGER, paperFieldsWNo INTEGER, paperOnePieceH REAL, paperOnePieceW REAL, paperUnfiliedSpaceU REAL, paperUnfiliedSpaceD REAL, paperUnfiliedSpaceL REAL, paperUnfiliedSpaceR REAL, paperUnfiliedSpaceUD REAL, paperUnfiliedSpaceLR REAL, partsUrl  TEXT, create_at  TEXT, update_at  TEXT, jan_code TEXT)",
          "/paper_infos_count/count",
          {{"id", N}, {"paperInfoId", N}, {"category_id", N}, {"goods", T}, {"goodsPartsNo", T},
           {"searchNo", T}, {"searchSelNo", T}, {"goodsBackFront", T}, {"goodsAllEdit", T},
           {"goodsDisplayLabel", T}, {"goodsThumbName", T}, {"goodsThumbName2", T},
           {"goodsPictFileName", T}, {"goodsPictPartsLabel", T}, {"goodsPictPartsCut", T},
           {"goodsPictPartsBending", T}, {"goodsPictPartsDesign1", T},
           {"goodsPictPartsDesign2", T}, {"goodsPictMask", T}, {"goodsType", T}, {"goodsLabel", T},
           {"goodsDrawSize", N}, {"paperSizeInfo_id", N}, {"templateInfo_id", N},
           {"paperFieldsNo", N}, {"paperFieldsHNo", N}, {"paperFieldsWNo", N},
           {"paperOnePieceH", N}, {"paperOnePieceW", N}, {"paperUnfiliedSpaceU", N},
           {"paperUnfiliedSpaceD", N}, {"paperUnfiliedSpaceL", N}, {"paperUnfiliedSpaceR", N},
           {"paperUnfiliedSpaceUD", N}, {"paperUnfiliedSpaceLR", N}, {"partsUrl", T},
           {"create_at", T}, {"update_at", T}, {"jan_code", T}},
          true,
      },
      {
          "paper_group_infos",
          "CREATE TABLE IF NOT EXISTS paper_group_infos (id INTEGER  PRIMARY KEY, \tpaperGroupId INTEGER, \tname  TEXT, \tcreate_at  TEXT, \tupdate_at  TEXT)",
          "/paper_group_infos_count/count",
          {{"id", N}, {"paperGroupId", N}, {"name", T}, {"create_at", T}, {"update_at", T}},
      },
      {
          "pict_group_infos",
          "CREATE TABLE IF NOT EXISTS pict_group_infos (id INTEGER  PRIMARY KEY, \t\tpictGroupId  INTEGER, \t\tpictCategoryId  INTEGER, \t\tpaperGroupId  INTEGER, \t\tfolder  TEXT, \t\tthumbnailUrl  TEXT, \t\tthumbnailHitUrl  TEXT, \t\tthumbnailUpUrl  TEXT, \t\tthumbnailDisUrl  TEXT, \t\tthumbnailClickUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/pict_group_infos_count/count",
          {{"id", N}, {"pictGroupId", N}, {"pictCategoryId", N}, {"paperGroupId", N},
           {"folder", T}, {"thumbnailUrl", T}, {"thumbnailHitUrl", T}, {"thumbnailUpUrl", T},
           {"thumbnailDisUrl", T}, {"thumbnailClickUrl", T}, {"create_at", T}, {"update_at", T}},
      },
      {
          "generic_group_infos",
          "CREATE TABLE IF NOT EXISTS generic_group_infos (id INTEGER  PRIMARY KEY, \t\tgroupInfoId  INTEGER, \t\tkbn  INTEGER, \t\tlevel  TEXT, \t\tsubLevel  TEXT, \t\thasSubLevel  TEXT, \t\tname  TEXT, \t\tfolder  TEXT, \t\tthumbnailUrl  TEXT, \t\tthumbnailHitUrl  TEXT, \t\tthumbnailUpUrl  TEXT, \t\tthumbnailDisUrl  TEXT, \t\tthumbnailClickUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/generic_group_infos_count/count",
          {{"id", N}, {"groupInfoId", N}, {"kbn", N}, {"level", T}, {"subLevel", T},
           {"hasSubLevel", T}, {"name", T}, {"folder", T}, {"thumbnailUrl", T},
           {"thumbnailHitUrl", T}, {"thumbnailUpUrl", T}, {"thumbnailDisUrl", T},
           {"thumbnailClickUrl", T}, {"create_at", T}, {"update_at", T}},
      },
      {
          "paper_relation2s",
          "CREATE TABLE IF NOT EXISTS paper_relation2s (id INTEGER  PRIMARY KEY, \t\tkbn  INTEGER, \t\tgoodsPartsNo  TEXT, \t\titemId  INTEGER, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/paper_relation2s_count/count",
          {{"id", N}, {"kbn", N, "3"}, {"goodsPartsNo", T}, {"itemId", T}, {"create_at", T},
           {"update_at", T}},
      },
      {
          "logs",
          "CREATE TABLE IF NOT EXISTS logs (id INTEGER  PRIMARY KEY, \t\tmac_address  TEXT, \t\tevent_type  INTEGER, \t\tevent_contents1  TEXT, \t\tevent_contents2  TEXT, \t\tevent_contents3  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "",
          {},
      },
      {
          "template_infos",
          "CREATE TABLE IF NOT EXISTS template_infos (id INTEGER  PRIMARY KEY, \t\ttemplateInfoId  INTEGER, \t\ttemplateName  TEXT, \t\tgoodsThumbName  TEXT, \t\ttemplateUrl  TEXT, \t\tthumbnailUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/template_infos_count/count",
          {{"id", N}, {"templateInfoId", N}, {"templateName", T}, {"goodsThumbName", T},
           {"templateUrl", T}, {"thumbnailUrl", T}, {"create_at", T}, {"update_at", T}},
      },
      {
          "pict_group_top_level_infos",
          "CREATE TABLE IF NOT EXISTS pict_group_top_level_infos (id INTEGER  PRIMARY KEY, \t\ttopLevelId  INTEGER, \t\tpaperGroupId  INTEGER, \t\tname  TEXT, \t\tfolder  TEXT, \t\tthumbnailUrl  TEXT, \t\tthumbnailHitUrl  TEXT, \t\tthumbnailUpUrl  TEXT, \t\tthumbnailDisUrl  TEXT, \t\tthumbnailClickUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/pict_group_top_level_infos_count/count",
          {{"id", N}, {"topLevelId", N}, {"paperGroupId", N}, {"name", T}, {"folder", T},
           {"thumbnailUrl", T}, {"thumbnailHitUrl", T}, {"thumbnailUpUrl", T},
           {"thumbnailDisUrl", T}, {"thumbnailClickUrl", T}, {"create_at", T}, {"update_at", T}},
      },
      {
          "pict_group_sub_level_infos",
          "CREATE TABLE IF NOT EXISTS pict_group_sub_level_infos (id INTEGER  PRIMARY KEY, \t\ttopLevelId  INTEGER, \t\tsubLevelId  INTEGER, \t\tname  TEXT, \t\tfolder  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
          "/pict_group_sub_level_infos_count/count",
          {{"id", N}, {"topLevelId", N}, {"subLevelId", N}, {"name", T}, {"folder", T},
           {"create_at", T}, {"update_at", T}},
      },
      {
          "pict_generic_history_infos",
          "CREATE TABLE IF NOT EXISTS pict_generic_history_infos (id INTEGER, \t\ttopLevelId  INTEGER, \t\tthumbUrl  TEXT  PRIMARY KEY, \t\timageUrl  TEXT)",
          "",
          {},
      },
  };
  return tables;
}

const std::vector<const CatalogueTable*>& RefreshedCatalogueTables() {
  static const std::vector<const CatalogueTable*> refreshed = [] {
    std::vector<const CatalogueTable*> list;
    for (const CatalogueTable& table : CatalogueTables()) {
      if (table.Refreshed()) {
        list.push_back(&table);
      }
    }
    return list;
  }();
  return refreshed;
}

const CatalogueTable* FindCatalogueTable(std::string_view name) {
  for (const CatalogueTable& table : CatalogueTables()) {
    if (table.name == name) {
      return &table;
    }
  }
  return nullptr;
}

int CatalogueTable::FieldIndex(std::string_view field) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == field) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace qb
