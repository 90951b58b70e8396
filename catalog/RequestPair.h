// The "key=value" pairs of a request's argument text, and the rule for keys
// that a query uses as column names.
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

// The argument text of `path` (its second piece when split at "@") cut into
// pairs at every "&" and each pair at "="; empty pieces are kept. Nullopt when
// the path holds no "@".
std::optional<std::vector<RequestPair>> ArgumentPairs(std::string_view path);

// True when `key` may stand in a statement as a column name: a plain
// identifier of ASCII letters, digits and "_", not starting with a digit.
bool IsColumnKey(std::string_view key);

}  // namespace qb
