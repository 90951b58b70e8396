// Header tokens into UrlDecode.
//
// Properties: the result is valid UTF-8 without zero bytes, at most three
// bytes per input byte (a lone byte becomes U+FFFD); a token without "%" and
// "+" that is clean UTF-8 comes back unchanged.

#include "FuzzCheck.h"
#include "server/RequestTokens.h"
#include "util/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view token = qbfuzz::Bytes(data, size);
  const std::string decoded = qb::UrlDecode(token);

  FUZZ_CHECK(qb::IsValidUtf8(decoded));
  FUZZ_CHECK(decoded.size() <= 3 * token.size());
  if (token.find_first_of("%+") == std::string_view::npos && qb::IsValidUtf8(token)) {
    FUZZ_CHECK(decoded == token);
  }
  return 0;
}
