// The arguments a route takes from its request path, parsed here once so that
// the catalogue below is handed values, never a path: the argument text (the
// path's second piece at "@") and its "key=value" pairs.
//
// Thread contract: stateless.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/RequestPair.h"

namespace qb {

// The second piece of `path` when split at "@" (empty pieces kept); nullopt
// when the path has no "@".
std::optional<std::string> ArgumentText(std::string_view path);

// The argument text of `path` cut into pairs at every "&" and each pair at
// "=" (empty pieces kept); nullopt when the path has no "@".
std::optional<std::vector<RequestPair>> ArgumentPairs(std::string_view path);

}  // namespace qb
