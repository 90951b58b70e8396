// A "key=value" pair a client sends (a column and the value it must have, or
// a named option), and the rule for keys that a query uses as column names.
//
// Thread contract: stateless.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct RequestPair {
  std::string key;                   // the text before the first "="
  std::optional<std::string> value;  // the text between the first and a second "="; nullopt without "="
};

// Splits `text` at "=": piece 0 is the key, piece 1 the value, further pieces
// are ignored.
RequestPair SplitRequestPair(std::string_view text);

// True when `key` may stand in a statement as a column name: a plain
// identifier of ASCII letters, digits and "_", not starting with a digit.
bool IsColumnKey(std::string_view key);

}  // namespace qb
