#include "catalog/QueryText.h"

#include "util/Text.h"

namespace qb {

std::optional<std::vector<ArgumentPair>> ArgumentPairs(std::string_view path) {
  std::vector<std::string> pieces;
  Split(&pieces, path, "@");
  if (pieces.size() < 2) {
    return std::nullopt;
  }
  std::vector<ArgumentPair> pairs;
  std::vector<std::string> parts;
  for (const std::string& piece : Split(pieces[1], "&")) {
    Split(&parts, piece, "=");
    ArgumentPair pair{std::move(parts[0]), std::nullopt};
    if (parts.size() >= 2) {
      pair.value = std::move(parts[1]);
    }
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty()) {
    return false;
  }
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) {
      return false;
    }
  }
  return true;
}

void AppendAnswerText(std::string& out, std::string_view value) {
  for (const char c : value) {
    if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) {
      // Beyond plain ASCII the decoder checks every sequence.
      out.append(Utf8ToWide(value));
      return;
    }
  }
  out.append(value);
}

void AppendElement(std::string& out, std::string_view name, std::string_view value) {
  out.append("    <").append(name).append(">");
  AppendAnswerText(out, value);
  out.append("</").append(name).append(">\n");
}

}  // namespace qb
