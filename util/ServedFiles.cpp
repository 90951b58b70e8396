#include "util/ServedFiles.h"

#include <algorithm>

#include "util/Text.h"

namespace qb {
namespace {

// A name the server keeps for itself: the catalogue and what SQLite writes
// beside it, the version files, and the temporary names of downloads.
bool IsServerName(std::string_view name) {
  const std::string lower = AsciiLower(name);
  return lower.starts_with("qkprint.db") || lower == "verfile_db.txt" ||
         lower == "new_verfile_db.txt" || lower.ends_with(".partial");
}

// The extension of the last component of `relativePath`, lower case with its
// dot; empty when it has none.
std::string Extension(std::string_view relativePath) {
  const size_t slash = relativePath.find_last_of("/\\");
  const std::string name =
      AsciiLower(slash == std::string_view::npos ? relativePath : relativePath.substr(slash + 1));
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

std::string ServedFolderRefusal(std::string_view relativePath) {
  std::string slashed(relativePath);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  for (const std::string& component : Split(slashed, "/")) {
    if (IsServerName(component)) {
      return "\"" + component + "\" is a file of the server";
    }
  }
  return {};
}

std::string ServedFileRefusal(std::string_view relativePath) {
  if (std::string refusal = ServedFolderRefusal(relativePath); !refusal.empty()) {
    return refusal;
  }
  const std::string extension = Extension(relativePath);
  if (std::find(std::begin(kServedExtensions), std::end(kServedExtensions), extension) ==
      std::end(kServedExtensions)) {
    return "not a picture, drawing, template or archive file";
  }
  return {};
}

std::string DrawingFileRefusal(std::string_view relativePath) {
  if (std::string refusal = ServedFolderRefusal(relativePath); !refusal.empty()) {
    return refusal;
  }
  const std::string extension = Extension(relativePath);
  if (extension != ".svg" && extension != ".tbl") {
    return "not a drawing file (.svg or .tbl)";
  }
  return {};
}

}  // namespace qb
