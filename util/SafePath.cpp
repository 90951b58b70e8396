#include "util/SafePath.h"

#include <filesystem>

namespace qb {

std::optional<std::string> ResolveInsideFolder(const std::string& folder, std::string_view path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path root = fs::canonical(folder, error);
  if (error) {
    return std::nullopt;
  }
  const fs::path requested(path);
  const fs::path joined = requested.is_absolute() ? requested : root / requested;
  const fs::path resolved = fs::weakly_canonical(joined, error);
  if (error) {
    return std::nullopt;
  }
  // Inside means: the root's components are a prefix of the resolved path's.
  auto r = root.begin();
  auto p = resolved.begin();
  for (; r != root.end(); ++r, ++p) {
    if (p == resolved.end() || *p != *r) {
      return std::nullopt;
    }
  }
  return resolved.string();
}

}  // namespace qb
