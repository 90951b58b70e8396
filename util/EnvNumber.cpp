#include "util/EnvNumber.h"

#include <cstdlib>
#include <string_view>

namespace qb {

std::optional<uint64_t> EnvNumber(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text < '0' || *text > '9') {
    return std::nullopt;
  }
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (*end != '\0') {
    return std::nullopt;
  }
  return value;
}

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace qb
