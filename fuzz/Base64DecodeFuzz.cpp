// Base64 texts into Base64Decode.
//
// Properties: the count is the output's size, earlier content of the output
// is gone, and four digits give at most three bytes; the input bytes, encoded
// without padding, decode back to themselves.

#include "FuzzCheck.h"
#include "util/Base64.h"

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Encode(std::string_view bytes) {
  std::string text;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                       uint8_t(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) text += kAlphabet[(v >> shift) & 63];
  }
  if (bytes.size() - i == 1) {
    const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
  } else if (bytes.size() - i == 2) {
    const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8);
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += kAlphabet[(v >> 6) & 63];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input = qbfuzz::Bytes(data, size);
  std::string output = "stale";
  const size_t count = qb::Base64Decode(input, &output);

  FUZZ_CHECK(count == output.size());
  FUZZ_CHECK(count <= (input.size() + 3) / 4 * 3);

  // Round trip: the raw bytes encoded and decoded again.
  std::string again;
  qb::Base64Decode(Encode(input), &again);
  FUZZ_CHECK(again == input);
  return 0;
}
