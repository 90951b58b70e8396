#include "catalog/RequestPair.h"

#include <vector>

#include "util/Text.h"

namespace qb {

RequestPair SplitRequestPair(std::string_view text) {
  std::vector<std::string> pieces = Split(text, "=");
  RequestPair pair;
  pair.key = std::move(pieces[0]);
  if (pieces.size() > 1) {
    pair.value = std::move(pieces[1]);
  }
  return pair;
}

bool IsColumnKey(std::string_view key) {
  if (key.empty() || (key[0] >= '0' && key[0] <= '9')) {
    return false;
  }
  for (const char c : key) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_';
    if (!plain) {
      return false;
    }
  }
  return true;
}

}  // namespace qb
