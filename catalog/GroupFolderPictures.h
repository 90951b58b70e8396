// The picture list of top-level or sub-level picture groups chosen by filter
// pairs: the material folders of the matching groups, scanned one after the
// other. Shared by PictGroupTopLevelInfos and PictGroupSubLevelInfos.
//
// Thread contract: stateless; opens its own read-only connection.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "catalog/Condition.h"

namespace qb {

// Each of `filters` (one or more) keeps the rows of `table` whose column (its
// name) equals its value. Rows are read in the order `orderBy`. nullopt when a
// filter has no value; the empty list when a name is no plain identifier or
// the statement does not compile.
std::optional<std::string> GetGroupFolderPictures(std::string_view table,
                                                  std::string_view orderBy,
                                                  std::span<const Condition> filters);

}  // namespace qb
