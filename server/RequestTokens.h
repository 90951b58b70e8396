// The two tokenisers of request text and the decoding of header tokens.
//
// SplitLine finds the exact separator and yields empty pieces; Tokenize treats
// the separator as a set of characters, skips runs of them and never yields an
// empty token before the end. The request parser uses SplitLine for "\r\n"
// only and Tokenize for " ", "&" and "=", and the difference is part of the
// protocol (a base64 value loses its "=" padding through Tokenize).
//
// Thread contract: stateless.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// The piece of `text` from `*pos` up to the next occurrence of `separator`;
// `*pos` moves past the separator. When no separator is left, the rest is
// returned and `*last` is set. `separator` must not be empty.
std::string_view SplitLine(std::string_view text, std::string_view separator, size_t* pos,
                           bool* last);

// The next token of `text` from `*pos`: runs of characters from `separators`
// are skipped, the token runs to the next such character. Empty only when
// nothing is left.
std::string_view Tokenize(std::string_view text, std::string_view separators, size_t* pos);

// "%" with a hexadecimal digit after it takes up to two following characters
// as a hexadecimal byte (reading stops at the first non-digit, so "%4z" is
// byte 4 and both characters are used); "+" becomes a blank; every other byte
// stays. The bytes are then read as UTF-8 up to the first zero byte, invalid
// sequences becoming U+FFFD.
std::string UrlDecode(std::string_view token);

}  // namespace qb
