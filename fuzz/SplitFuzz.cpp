// Texts and separators into Split. The first byte gives the separator length
// (1 to 4), the next bytes the separator, the rest is the text.
//
// Properties: no piece holds the separator, and joining the pieces with it
// gives the text back; an empty separator leaves the list untouched.

#include "FuzzCheck.h"
#include "util/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = qbfuzz::Bytes(data, size);
  if (input.empty()) {
    return 0;
  }
  const size_t length = std::min<size_t>(static_cast<uint8_t>(input[0]) % 4 + 1, input.size() - 1);
  const std::string_view separator = input.substr(1, length);
  const std::string_view text = input.substr(1 + length);

  std::vector<std::string> pieces{"untouched"};
  qb::Split(&pieces, text, separator);
  if (separator.empty()) {
    FUZZ_CHECK(pieces.size() == 1 && pieces[0] == "untouched");
    return 0;
  }
  FUZZ_CHECK(!pieces.empty());
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    FUZZ_CHECK(pieces[i].find(separator) == std::string::npos);
    if (i > 0) {
      joined += separator;
    }
    joined += pieces[i];
  }
  FUZZ_CHECK(joined == text);
  FUZZ_CHECK(qb::Split(text, separator) == pieces);
  return 0;
}
