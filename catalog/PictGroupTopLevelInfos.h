// Queries on the top-level picture groups (table pict_group_top_level_infos):
// the groups of a product and the pictures of chosen groups.
//
// Thread contract: no state; an instance serves one request on the calling
// thread and opens its own read-only connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

class PictGroupTopLevelInfos {
 public:
  ~PictGroupTopLevelInfos() = default;

  // The statement of the groups of a product, up to its bound parameter ?1
  // (the product's selection number or part number).
  static std::string_view SelectColumns();

  // "<pictGroupTopLevelInfos>" with one "topLevelInfo" record, numbered from
  // 1, per group related (kind 3) to the part numbers of the products whose
  // selection number is the value of the pair `text`, or to that value as a
  // part number; by ascending topLevelId. nullopt when `text` has no "=".
  std::optional<std::string> GetTopLevelList(std::string_view text) const;

  // The pictures of the groups chosen by the filter pair `text`.
  std::optional<std::string> GetPictList(std::string_view text) const;
};

}  // namespace qb
