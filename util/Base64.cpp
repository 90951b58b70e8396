#include "util/Base64.h"

#include <array>
#include <cstdint>

namespace qb {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

// Digit value of every byte; "=" and bytes outside the alphabet are 0.
constexpr std::array<uint8_t, 256> MakeDigits() {
  std::array<uint8_t, 256> digits{};
  for (size_t i = 0; i < 64; ++i) {
    digits[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  }
  return digits;
}

constexpr std::array<uint8_t, 256> kDigits = MakeDigits();

}  // namespace

size_t Base64Decode(std::string_view input, std::string* output) {
  output->clear();
  output->reserve(input.size() / 4 * 3 + 3);
  size_t i = 0;
  while (i < input.size() && input[i] != '=') {
    uint8_t digit[4] = {0, 0, 0, 0};
    size_t count = 0;
    while (count < 4 && i < input.size() && input[i] != '=') {
      digit[count++] = kDigits[static_cast<uint8_t>(input[i++])];
    }
    for (size_t k = 0; k + 1 < count; ++k) {
      const unsigned shiftLeft = 2 * static_cast<unsigned>(k) + 2;
      const unsigned shiftRight = 4 - 2 * static_cast<unsigned>(k);
      output->push_back(static_cast<char>(
          static_cast<uint8_t>((digit[k] << shiftLeft) | (digit[k + 1] >> shiftRight))));
    }
  }
  return output->size();
}

}  // namespace qb
