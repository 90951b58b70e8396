// The work of the picture-group, picture-list and template routes: each takes
// the argument text of its request, parses it (RouteArguments.h), picks the
// operation by its pieces and hands the catalogue the values. nullopt means
// the argument text is malformed (too few "&" pieces, a needed value
// missing); the dispatcher answers that with the server error.
//
// Thread contract: stateless; runs on any number of connection threads.
#pragma once

#include <optional>
#include <string>

namespace qb {

// "dbAccess/TOP_GROUP": "list&pair" lists a product's top-level groups,
// "<other>&pair" their pictures.
std::optional<std::string> ServeTopGroup(const std::string& argument);
// "dbAccess/SUB_GROUP": "list&condition" lists sub-level groups; otherwise
// the pictures of one pair, or of two when there are exactly three pieces.
std::optional<std::string> ServeSubGroup(const std::string& argument);
// "dbAccess/GENERIC_GROUP": selector "backlist", "backimages", "list",
// "images"/"pictImages2" in this order of precedence; none answers empty.
std::optional<std::string> ServeGenericGroup(const std::string& argument);
// "dbAccess/TEMPLATE_LIST": the templates of a part number.
std::optional<std::string> ServeTemplateList(const std::string& argument);
// "dbAccess/TEMPLATE_DATA": every byte of the file the argument names, as
// lowercase hexadecimal; empty for a file that is missing or outside the data
// folder (a relative path is taken inside it).
std::optional<std::string> ServeTemplateData(const std::string& argument);
// "dbAccess/PICT_RECENT": the picture history meeting the argument text.
std::optional<std::string> ServePictRecent(const std::string& argument);

}  // namespace qb
