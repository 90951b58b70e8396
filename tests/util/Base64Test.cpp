#include "util/Base64.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(Base64Decode, DecodesLenientlyAsTheClientSendsIt) {
  struct Row {
    const char* name;
    std::string input;
    std::string output;
  };
  const Row rows[] = {
      {"full group", "QUJD", "ABC"},
      {"padding optional", "QUI", "AB"},
      {"padded", "QQ==", "A"},
      {"empty", "", ""},
      {"lone digit gives nothing", "QUJDQ", "ABC"},
      {"two groups", "QUJDREVG", "ABCDEF"},
      {"stray byte counts as digit 0", "QUJ!", std::string("AB\x40", 3)},
      {"line break is not skipped", "QU\nD", std::string("A\x40\x03", 3)},
      {"equals that begins a group ends the input", "QQ==QUJD", "A"},
      {"equals inside a group ends it early", "QUI=QUJD", "AB"},
      {"leading equals gives nothing", "=QUJD", ""},
      {"high bytes count as 0", "\xff\xff\xff\xff", std::string(3, '\0')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string output = "old";
    EXPECT_EQ(Base64Decode(row.input, &output), row.output.size());
    EXPECT_EQ(output, row.output);
    EXPECT_EQ(output.c_str()[output.size()], '\0');
  }
}

}  // namespace
}  // namespace qb
