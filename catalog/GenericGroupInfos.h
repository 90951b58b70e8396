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

  // "<genGroupList>" with the general material groups whose column (the key
  // of the pair `text`; "level" when the key contains "subLevel") equals the
  // value, numbered from 0, in database order. When the first group is at
  // level "0" the recently-used pseudo group follows. nullopt when a value is
  // needed and `text` has no "="; the empty list when the column is no plain
  // identifier.
  std::optional<std::string> GetGroupList(std::string_view text) const;

  // "<genGroupList>" with every background group, numbered from 1. `text` is
  // not used.
  std::string GetBackGroupList(std::string_view text) const;

  // The pictures of the groups chosen by the pair `text`; a "level" key whose
  // value contains "99" asks for the pictures of the recently used products
  // of this machine instead. nullopt when a value is needed and `text` has
  // no "=".
  std::optional<std::string> GetPictList(std::string_view text, PictMode mode) const;

 private:
  static std::string GetRecentPictList();
};

}  // namespace qb
