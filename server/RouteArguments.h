// The arguments a route takes from its request path, parsed here once so that
// the catalogue and the downloads below are handed values, never request text:
// the argument text (the path's second piece at "@"), its "&" pieces and each
// piece's "name=value" condition.
//
// The cuts are plain: empty pieces are kept, a piece without "=" is a name
// without a value, and a value ends at a second "=" (the rest is dropped).
//
// Thread contract: stateless.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/Condition.h"
#include "update/MaterialDownload.h"

namespace qb {

// The second piece of `path` when split at "@"; nullopt when the path has no
// "@".
std::optional<std::string> ArgumentText(std::string_view path);

// The piece "name=value" as a condition: the name up to the first "=", the
// value up to a second "="; no value when the piece has no "=".
Condition ParseCondition(std::string_view piece);

// The condition of the first "&" piece of `argument`.
Condition FirstCondition(std::string_view argument);

// The argument text of `path` cut at every "&", each piece a condition;
// nullopt when the path has no "@".
std::optional<std::vector<Condition>> ArgumentConditions(std::string_view path);

// The argument "SELECTOR&TARGET[&TARGET...]" of the picture-group routes.
struct GroupSelection {
  std::string selector;
  std::vector<std::string> targets;  // at least one, as sent

  // True when the selector contains `word` (a selector is matched by part).
  bool Selects(std::string_view word) const;
};

// nullopt when `argument` has fewer than two "&" pieces.
std::optional<GroupSelection> ParseGroupSelection(std::string_view argument);

// The two values the usage log and the picture history take from their
// argument "name=FIRST&name=SECOND": names are not looked at, pieces after the
// second are ignored.
struct UsageValues {
  std::string first;
  std::string second;

  bool operator==(const UsageValues&) const = default;
};

// nullopt when `argument` has fewer than two pieces or one of the two has no
// value.
std::optional<UsageValues> ParseUsageValues(std::string_view argument);

// A material request "kind=K&folder=F&value=V" (names are not looked at,
// pieces after the third are ignored; a piece without "=" gives an empty
// value).
struct MaterialArguments {
  std::optional<MaterialKind> kind;  // "0" to "3"; nullopt for any other text
  std::string folder;
  std::string value;

  bool operator==(const MaterialArguments&) const = default;
};

// nullopt when `argument` has fewer than three pieces.
std::optional<MaterialArguments> ParseMaterialArguments(std::string_view argument);

}  // namespace qb
