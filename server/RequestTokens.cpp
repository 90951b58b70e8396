#include "server/RequestTokens.h"

#include "util/Text.h"

namespace qb {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string_view SplitLine(std::string_view text, std::string_view separator, size_t* pos,
                           bool* last) {
  const size_t start = std::min(*pos, text.size());
  const size_t hit = text.find(separator, start);
  if (hit == std::string_view::npos) {
    *pos = text.size();
    *last = true;
    return text.substr(start);
  }
  *pos = hit + separator.size();
  *last = false;
  return text.substr(start, hit - start);
}

std::string_view Tokenize(std::string_view text, std::string_view separators, size_t* pos) {
  // Large bodies (page images) pass through here; one separator, the common
  // case, is searched with memchr instead of a per-byte set lookup.
  size_t start = std::min(*pos, text.size());
  size_t end = 0;
  if (separators.size() == 1) {
    const char separator = separators.front();
    while (start < text.size() && text[start] == separator) {
      ++start;
    }
    end = start < text.size() ? text.find(separator, start) : std::string_view::npos;
  } else {
    start = text.find_first_not_of(separators, start);
    end = start == std::string_view::npos ? start : text.find_first_of(separators, start);
  }
  if (start >= text.size()) {
    *pos = text.size();
    return {};
  }
  if (end == std::string_view::npos) {
    end = text.size();
  }
  *pos = end;
  return text.substr(start, end - start);
}

std::string UrlDecode(std::string_view token) {
  std::string bytes;
  bytes.reserve(token.size());
  for (size_t i = 0; i < token.size(); ++i) {
    const char c = token[i];
    if (c == '%' && i + 1 < token.size() && HexValue(token[i + 1]) >= 0) {
      int value = HexValue(token[i + 1]);
      if (i + 2 < token.size() && HexValue(token[i + 2]) >= 0) {
        value = value * 16 + HexValue(token[i + 2]);
      }
      bytes.push_back(static_cast<char>(value));
      i += std::min<size_t>(2, token.size() - 1 - i);
    } else if (c == '+') {
      bytes.push_back(' ');
    } else {
      bytes.push_back(c);
    }
  }
  return RepairedUtf8(bytes);
}

}  // namespace qb
