// The picture list of top-level or sub-level picture groups chosen by filter
// pairs: the material folders of the matching groups, scanned one after the
// other. Shared by PictGroupTopLevelInfos and PictGroupSubLevelInfos.
//
// Thread contract: stateless; opens its own read-only connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

// `pairs` is one or more "key=value" pairs joined by "&"; each keeps the rows
// of `table` whose column `key` equals the value. Rows are read in the order
// `orderBy`. nullopt when a pair has no "="; the empty list when a key is no
// plain identifier or the statement does not compile.
std::optional<std::string> GetGroupFolderPictures(std::string_view table,
                                                  std::string_view orderBy,
                                                  std::string_view pairs);

}  // namespace qb
