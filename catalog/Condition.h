// A condition a query is filtered by: a name (usually a column) and the value
// it must have, already taken apart by the caller. The rule for names that a
// query writes as column names lives here too.
//
// Thread contract: plain value; the functions are stateless.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

struct Condition {
  std::string name;
  std::optional<std::string> value;  // nullopt: the client gave the name alone

  bool operator==(const Condition&) const = default;
};

// True when `name` may stand in a statement as a column name: a plain
// identifier of ASCII letters, digits and "_", not starting with a digit.
bool IsColumnKey(std::string_view name);

}  // namespace qb
