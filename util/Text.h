// Text helpers shared by every subsystem: the splitter of request paths and
// argument texts, UTF-8 clean-up, UTF-16 length counting and the hexadecimal
// rendering of files.
//
// Text inside the server is UTF-8 in std::string. Where a bound is counted in
// UTF-16 units, Utf16Length counts them over the UTF-8 text.
//
// Thread contract: every function is stateless and may run on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// Fills `pieces` with the pieces of `text` between occurrences of `separator`.
// Empty pieces are kept; a text without the separator gives one piece, an empty
// text one empty piece. Nothing is done when `pieces` is null or `separator`
// is empty.
void Split(std::vector<std::string>* pieces, std::string_view text, std::string_view separator);

// Convenience form of Split that returns the pieces.
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// `text` with its ASCII letters in lower case; other bytes stay.
std::string AsciiLower(std::string_view text);

// True when `a` and `b` are the same bytes but for the case of ASCII letters.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// True when `text` begins with `prefix`, ASCII letters compared without case.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// Every byte of the file at `path` as two lowercase hexadecimal digits; empty
// when the file cannot be opened.
std::string ReadFileAsHex(const std::string& path);

// Decodes `bytes` as UTF-8 up to the first zero byte; every invalid sequence
// becomes U+FFFD. The result is valid UTF-8.
std::string RepairedUtf8(std::string_view bytes);

// True when `bytes` is valid UTF-8 without a zero byte (what RepairedUtf8 would
// return unchanged).
bool IsValidUtf8(std::string_view bytes);

// The folder path text of the "dbAccess/DB_URL" answer: the bytes up to the
// first zero, cleaned as RepairedUtf8 does and cut to at most 260 UTF-16 units
// (never inside a character).
std::string AnsiToUtf8(std::string_view bytes);

// The integer at the start of `text`: an optional sign, then decimal digits up
// to the first non-digit; 0 without digits (also when `text` starts with white
// space: callers whose format allows it skip it first). Saturates instead of
// overflowing.
int64_t LeadingInteger(std::string_view text);
// LeadingInteger clamped to 32 bits.
int LeadingInt32(std::string_view text);

// `text` without its leading blanks, tabs and line breaks.
std::string_view SkipLeadingSpace(std::string_view text);

// Blanks and tabs: what TrimBlanks removes and BlankSeparated splits at.
inline constexpr std::string_view kBlanks = " \t";

// `text` without the bytes of `set` around it.
std::string_view Trim(std::string_view text, std::string_view set);
// `text` without the bytes of `set` at its end.
std::string_view TrimEnd(std::string_view text, std::string_view set);
// `text` without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);
// The pieces of a list separated by runs of blanks and tabs (none empty).
std::vector<std::string_view> BlankSeparated(std::string_view text);
// A plain decimal number of at most `maxDigits` digits (no sign, no blanks),
// or nullopt. `maxDigits` is at most 19, so that the value fits.
std::optional<uint64_t> ParseDecimal(std::string_view text, size_t maxDigits);

// Number of UTF-16 code units the UTF-8 text `utf8` takes (a character above
// U+FFFF counts two). `utf8` is expected to be valid UTF-8.
size_t Utf16Length(std::string_view utf8);

// Longest prefix of valid UTF-8 text `utf8` that takes at most `maxUnits`
// UTF-16 units and does not end inside a character.
std::string_view Utf16Prefix(std::string_view utf8, size_t maxUnits);

}  // namespace qb
