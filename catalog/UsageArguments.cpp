#include "catalog/UsageArguments.h"

#include <vector>

#include "util/Text.h"

namespace qb {

std::optional<UsageValues> ReadUsageValues(std::string_view argument) {
  const std::vector<std::string> pieces = Split(argument, "&");
  if (pieces.size() < 2) {
    return std::nullopt;
  }
  std::vector<std::string> first = Split(pieces[0], "=");
  std::vector<std::string> second = Split(pieces[1], "=");
  if (first.size() < 2 || second.size() < 2) {
    return std::nullopt;
  }
  return UsageValues{std::move(first[1]), std::move(second[1])};
}

}  // namespace qb
