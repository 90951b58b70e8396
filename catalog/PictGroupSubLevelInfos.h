// Queries on the sub-level picture groups (table pict_group_sub_level_infos):
// the groups matching a condition the client writes, and the pictures of
// chosen groups.
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

class PictGroupSubLevelInfos {
 public:
  ~PictGroupSubLevelInfos() = default;

  // "<pictGroupSubLevelInfos>" with one "subLevelInfo" record, numbered from
  // 1, per group meeting `condition` (SQL the client writes), by topLevelId
  // and subLevelId. The condition may only read this table and must leave one
  // statement; otherwise the list is empty.
  std::string GetSubLevelList(std::string_view condition) const;

  // The pictures of the groups chosen by `filters` (GetGroupFolderPictures).
  std::optional<std::string> GetPictList(std::span<const Condition> filters) const;
};

}  // namespace qb
