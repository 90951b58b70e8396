// Queries on the top-level picture groups (table pict_group_top_level_infos):
// the groups of a product and the pictures of chosen groups.
//
// Thread contract: no state; an instance serves one request on the calling
// thread and opens its own read-only connection.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "catalog/Condition.h"

namespace qb {

class PictGroupTopLevelInfos {
 public:
  ~PictGroupTopLevelInfos() = default;

  // The statement of the groups of a product, up to its bound parameter ?1
  // (the product's selection number or part number).
  static std::string_view SelectColumns();

  // "<pictGroupTopLevelInfos>" with one "topLevelInfo" record, numbered from
  // 1, per group related (kind 3) to the part numbers of the products whose
  // selection number is `product`, or to `product` as a part number; by
  // ascending topLevelId.
  std::string GetTopLevelList(std::string_view product) const;

  // The pictures of the groups chosen by `filters` (GetGroupFolderPictures).
  std::optional<std::string> GetPictList(std::span<const Condition> filters) const;
};

}  // namespace qb
