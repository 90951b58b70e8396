#include "catalog/Condition.h"

namespace qb {

bool IsColumnKey(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
    return false;
  }
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_';
    if (!plain) {
      return false;
    }
  }
  return true;
}

}  // namespace qb
