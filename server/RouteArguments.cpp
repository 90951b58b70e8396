#include "server/RouteArguments.h"

#include "util/Text.h"

namespace qb {

std::optional<std::string> ArgumentText(std::string_view path) {
  std::vector<std::string> pieces;
  Split(&pieces, path, "@");
  if (pieces.size() < 2) {
    return std::nullopt;
  }
  return std::move(pieces[1]);
}

std::optional<std::vector<RequestPair>> ArgumentPairs(std::string_view path) {
  const std::optional<std::string> text = ArgumentText(path);
  if (!text) {
    return std::nullopt;
  }
  std::vector<RequestPair> pairs;
  for (const std::string& piece : Split(*text, "&")) {
    pairs.push_back(SplitRequestPair(piece));
  }
  return pairs;
}

}  // namespace qb
