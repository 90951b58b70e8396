#include "output/JsonText.h"

#include <cstdio>

namespace qb {
namespace {

// Length of the valid UTF-8 sequence at the start of `text`, or 0.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned min = 0;
  unsigned code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string JsonQuoted(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text.substr(i));
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

std::string JsonStrings(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    out += (i == 0 ? "" : ",") + JsonQuoted(items[i]);
  }
  return out + "]";
}

}  // namespace qb
