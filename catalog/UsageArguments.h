// The two values that the usage log and the picture history take from their
// argument text "key=first&key=second": the text after the first "=" of each
// of the first two "&"-pieces, up to a further "=". Keys are not looked at and
// later pieces are ignored.
//
// Thread contract: stateless.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

struct UsageValues {
  std::string first;
  std::string second;
};

// Nullopt when the text has fewer than two pieces or one of them has no "=".
std::optional<UsageValues> ReadUsageValues(std::string_view argument);

}  // namespace qb
