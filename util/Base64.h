// Decoder of the base64 page images the client sends. Lenient by design: any
// byte outside the alphabet counts as a digit of value 0 (it is not skipped),
// padding is optional, and the first "=" that begins a group ends the input.
//
// Thread contract: stateless; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// Decodes `input` into `output` (replacing its content) and returns the number
// of bytes written. Groups of up to four digits end early at "=" or at the end
// of the input; a group of n digits gives n - 1 bytes, a lone digit none.
// `output` keeps a zero byte after the data, as every std::string does.
size_t Base64Decode(std::string_view input, std::string* output);

}  // namespace qb
