// The dispatcher's route texts in the order it tries them: tests name a route
// by its text and take its index from here, so that the order is written down
// once.
#pragma once

#include <algorithm>
#include <iterator>
#include <string_view>

namespace qb {

inline constexpr std::string_view kRouteTexts[] = {
    "print/init",
    "print/add",
    "print/end",
    "print/status",
    "print/printers",
    "saveqx/save",
    "dbAccess/DB_URL",
    "dbAccess/IMG_URL",
    "dbAccess/SVG_DATA",
    "dbAccess/CHK_DB",
    "dbAccess/UPDATE_DB",
    "dbAccess/UPDATE_STATUS_DB",
    "dbAccess/LIST",
    "dbAccess/SEARCH",
    "dbAccess/DETAIL",
    "dbAccess/RECENT",
    "dbAccess/TOP_GROUP",
    "dbAccess/SUB_GROUP",
    "dbAccess/GENERIC_GROUP",
    "dbAccess/SOZAI_DOWNLOAD",
    "dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD",
    "dbAccess/TEMPLATE_LIST",
    "dbAccess/TEMPLATE_DATA",
    "dbAccess/TEMPLATE_DOWNLOAD",
    "dbAccess/LOG",
    "dbAccess/PICT_HISTORY",
    "dbAccess/PICT_RECENT",
};

// Index of the route `text` in kRouteTexts; -1 for a text that is no route.
inline int RouteIndex(std::string_view text) {
  const auto* found = std::find(std::begin(kRouteTexts), std::end(kRouteTexts), text);
  return found == std::end(kRouteTexts) ? -1
                                        : static_cast<int>(found - std::begin(kRouteTexts));
}

}  // namespace qb
