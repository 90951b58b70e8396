// Queries on the generic picture groups (table generic_group_infos): general
// material groups (kbn 4) with the recently-used pseudo group, background
// groups (kbn 1), and the pictures of chosen groups or of the recently used
// products.
//
// Thread contract: no state; an instance serves one request on the calling
// thread and opens its own read-only connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalog/Condition.h"

namespace qb {

class GenericGroupInfos {
 public:
  enum class PictMode {
    kMaterial,    // general material groups, below "sozai4_S/汎用素材"
    kBackground,  // background groups, below "sozai/汎用素材"
  };

  ~GenericGroupInfos() = default;

  // The statement text of every generic group column, up to the filter.
  static std::string_view SelectColumns();

  // "<genGroupList>" with the general material groups whose column (the name
  // of `condition`; "level" when the name contains "subLevel") equals its
  // value, numbered from 0, in database order. When the first group is at
  // level "0" the recently-used pseudo group follows. nullopt when the name
  // is not empty and the value is missing; the empty list when the column is
  // no plain identifier.
  std::optional<std::string> GetGroupList(const Condition& condition) const;

  // "<genGroupList>" with every background group, numbered from 1.
  std::string GetBackGroupList() const;

  // The pictures of the groups chosen by `condition`; a name containing
  // "level" whose value contains "99" asks for the pictures of the recently
  // used products of this machine instead. nullopt when a value is needed
  // and missing.
  std::optional<std::string> GetPictList(const Condition& condition, PictMode mode) const;

 private:
  static std::string GetRecentPictList();
};

}  // namespace qb
