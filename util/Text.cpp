#include "util/Text.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <algorithm>
#include <climits>
#include <iterator>

namespace qb {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void Split(std::vector<std::string>* pieces, std::string_view text, std::string_view separator) {
  if (pieces == nullptr || separator.empty()) {
    return;
  }
  pieces->clear();
  size_t start = 0;
  for (;;) {
    const size_t hit = text.find(separator, start);
    if (hit == std::string_view::npos) {
      pieces->emplace_back(text.substr(start));
      return;
    }
    pieces->emplace_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    c = LowerAscii(c);
  }
  return lower;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  Split(&pieces, text, separator);
  return pieces;
}

std::string ReadFileAsHex(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return {};
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  std::array<char, 65536> chunk;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    const auto got = static_cast<size_t>(in.gcount());
    const size_t at = hex.size();
    hex.resize(at + 2 * got);
    for (size_t i = 0; i < got; ++i) {
      const auto byte = static_cast<unsigned char>(chunk[i]);
      hex[at + 2 * i] = kDigits[byte >> 4];
      hex[at + 2 * i + 1] = kDigits[byte & 0x0f];
    }
  }
  return hex;
}

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// What a lead byte promises: the sequence length and the range of the second
// byte (the well-formed table of Unicode 3.9). `len` is 0 for a byte that
// cannot start a multi-byte sequence.
struct Lead {
  size_t len = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
};

Lead ClassifyLead(unsigned char b0) {
  Lead lead;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    lead.len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    lead.len = 3;
    if (b0 == 0xE0) lead.lo = 0xA0;
    if (b0 == 0xED) lead.hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    lead.len = 4;
    if (b0 == 0xF0) lead.lo = 0x90;
    if (b0 == 0xF4) lead.hi = 0x8F;
  }
  return lead;
}

// Bytes at `s[i]` (lead included) that fit the sequence the lead promises.
size_t MatchedBytes(std::string_view s, size_t i, const Lead& lead) {
  size_t k = 1;
  for (; k < lead.len && i + k < s.size(); ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    const unsigned char min = (k == 1) ? lead.lo : 0x80;
    const unsigned char max = (k == 1) ? lead.hi : 0xBF;
    if (b < min || b > max) {
      break;
    }
  }
  return k;
}

}  // namespace

namespace {

// The end of the run of ASCII bytes that starts at `i`, eight bytes at a time.
size_t AsciiRunEnd(std::string_view s, size_t i) {
  while (i + 8 <= s.size()) {
    uint64_t word;
    std::memcpy(&word, s.data() + i, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) {
      break;
    }
    i += 8;
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) {
    ++i;
  }
  return i;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  if (bytes.find('\0') != std::string_view::npos) {
    return false;
  }
  size_t i = 0;
  while ((i = AsciiRunEnd(bytes, i)) < bytes.size()) {
    const Lead lead = ClassifyLead(static_cast<unsigned char>(bytes[i]));
    if (lead.len == 0 || MatchedBytes(bytes, i, lead) != lead.len) {
      return false;
    }
    i += lead.len;
  }
  return true;
}

std::string RepairedUtf8(std::string_view bytes) {
  const size_t zero = bytes.find('\0');
  if (zero != std::string_view::npos) {
    bytes = bytes.substr(0, zero);
  }
  if (IsValidUtf8(bytes)) {
    return std::string(bytes);
  }
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const size_t end = AsciiRunEnd(bytes, i);
    out.append(bytes.substr(i, end - i));
    i = end;
    if (i == bytes.size()) {
      break;
    }
    const Lead lead = ClassifyLead(static_cast<unsigned char>(bytes[i]));
    const size_t matched = lead.len == 0 ? 1 : MatchedBytes(bytes, i, lead);
    if (matched == lead.len) {
      out.append(bytes.substr(i, matched));
    } else {
      // The maximal ill-formed subpart becomes one replacement character.
      out.append(kReplacement);
    }
    i += matched;
  }
  return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
  constexpr size_t kMaxUnits = 260;
  const std::string text = RepairedUtf8(bytes);
  return std::string(Utf16Prefix(text, kMaxUnits));
}

std::string_view SkipLeadingSpace(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  return text.substr(i);
}

int64_t LeadingInteger(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr int64_t kLimit = INT64_MAX / 10 - 9;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value >= kLimit ? INT64_MAX : value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

int LeadingInt32(std::string_view text) {
  return static_cast<int>(std::clamp<int64_t>(LeadingInteger(text), INT_MIN, INT_MAX));
}

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) {
      units += (b >= 0xF0) ? 2 : 1;
    }
  }
  return units;
}

std::string_view Utf16Prefix(std::string_view utf8, size_t maxUnits) {
  size_t units = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    const size_t need = (len == 4) ? 2 : 1;
    if (units + need > maxUnits) {
      break;
    }
    units += need;
    i += len;
  }
  return utf8.substr(0, std::min(i, utf8.size()));
}

std::string_view Trim(std::string_view text, std::string_view set) {
  const size_t first = text.find_first_not_of(set);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(set) - first + 1);
}

std::string_view TrimEnd(std::string_view text, std::string_view set) {
  const size_t last = text.find_last_not_of(set);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view TrimBlanks(std::string_view text) { return Trim(text, kBlanks); }

std::vector<std::string_view> BlankSeparated(std::string_view text) {
  std::vector<std::string_view> pieces;
  while (!(text = TrimBlanks(text)).empty()) {
    const size_t end = std::min(text.find_first_of(kBlanks), text.size());
    pieces.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return pieces;
}

std::optional<uint64_t> ParseDecimal(std::string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > std::min<size_t>(maxDigits, 19)) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace qb
