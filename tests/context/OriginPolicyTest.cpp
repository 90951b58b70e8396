#include "context/OriginPolicy.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(OriginPolicy, NormalizesOriginsAsBrowsersWriteThem) {
  struct Row {
    const char* name;
    const char* text;
    std::optional<std::string> normal;
  };
  const Row rows[] = {
      {"plain", "https://label.example.com", "https://label.example.com"},
      {"scheme and host case", "HTTPS://Label.Example.COM", "https://label.example.com"},
      {"default http port", "http://localhost:80", "http://localhost"},
      {"default https port", "https://a.example:443", "https://a.example"},
      {"other port kept", "http://localhost:8080", "http://localhost:8080"},
      {"https port on http kept", "http://a.example:443", "http://a.example:443"},
      {"leading zeros of the port", "http://a.example:0080", "http://a.example"},
      {"one trailing slash", "https://a.example/", "https://a.example"},
      {"IPv4 host", "http://127.0.0.1:3000", "http://127.0.0.1:3000"},
      {"IPv6 host", "http://[::1]:3000", "http://[::1]:3000"},
      {"IPv6 host case", "http://[FE80::1]", "http://[fe80::1]"},
      {"null", "null", "null"},
      {"null case", "NULL", "null"},
      {"no scheme", "a.example", std::nullopt},
      {"empty", "", std::nullopt},
      {"empty host", "https://", std::nullopt},
      {"path", "https://a.example/app", std::nullopt},
      {"two trailing slashes", "https://a.example//", std::nullopt},
      {"query", "https://a.example?x", std::nullopt},
      {"user info", "https://u@a.example", std::nullopt},
      {"empty port", "https://a.example:", std::nullopt},
      {"port too large", "https://a.example:65536", std::nullopt},
      {"port not a number", "https://a.example:8x", std::nullopt},
      {"wildcard host", "https://*.example", std::nullopt},
      {"blank inside", "https://a example", std::nullopt},
      {"line break inside", "https://a.example\r\nX: y", std::nullopt},
      {"percent escape", "https://a%2eexample", std::nullopt},
      {"scheme starting with a digit", "1http://a.example", std::nullopt},
      {"unclosed IPv6 host", "http://[::1", std::nullopt},
      {"text after the IPv6 host", "http://[::1]x", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(NormalizeOrigin(row.text), row.normal);
  }
}

TEST(OriginPolicy, ReadsTheConfiguredValue) {
  struct Row {
    const char* name;
    std::optional<std::string> value;
    bool any;
    std::vector<std::string> origins;
    std::vector<std::string> rejected;
  };
  const Row rows[] = {
      {"unset: none", std::nullopt, false, {}, {}},
      {"empty: none", "", false, {}, {}},
      {"blanks only: none", " \t ", false, {}, {}},
      {"star", "*", true, {}, {}},
      {"star in a list", "https://a.example *", true, {}, {}},
      {"one origin", "https://a.example", false, {"https://a.example"}, {}},
      {"blanks and tabs separate", "  https://a.example\thttp://localhost:8080   null ", false,
       {"https://a.example", "http://localhost:8080", "null"}, {}},
      {"duplicates after normalizing", "https://A.example https://a.example:443/", false,
       {"https://a.example"}, {}},
      {"bad entries left out", "https://a.example, a.example https://b.example/app", false,
       {}, {"https://a.example,", "a.example", "https://b.example/app"}},
      {"only bad entries allow no origin", "localhost", false, {}, {"localhost"}},
      {"bad entries are reported even with star", "* localhost", true, {}, {"localhost"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> rejected;
    const OriginPolicy policy = OriginPolicy::FromConfig(row.value, &rejected);
    EXPECT_EQ(policy.AllowsAny(), row.any);
    EXPECT_EQ(policy.Origins(), row.origins);
    EXPECT_EQ(rejected, row.rejected);
  }
  EXPECT_TRUE(OriginPolicy::FromConfig("bad", nullptr).Origins().empty());
}

TEST(OriginPolicy, MatchesOriginHeaders) {
  const OriginPolicy listed =
      OriginPolicy::FromConfig("https://label.example.com http://localhost:8080", nullptr);
  const OriginPolicy withNull = OriginPolicy::FromConfig("https://label.example.com null", nullptr);
  const OriginPolicy any = OriginPolicy::Any();
  struct Row {
    const char* name;
    const char* origin;
    bool listed;
    bool withNull;
  };
  const Row rows[] = {
      {"listed", "https://label.example.com", true, true},
      {"host case", "https://LABEL.example.com", true, true},
      {"scheme case", "HTTPS://label.example.com", true, true},
      {"blanks around", "  https://label.example.com ", true, true},
      {"explicit default port", "https://label.example.com:443", true, true},
      {"listed port", "http://localhost:8080", true, false},
      {"other port", "http://localhost:8081", false, false},
      {"no port where one is listed", "http://localhost", false, false},
      {"other scheme", "http://label.example.com", false, false},
      {"suffix of a listed host", "https://evil-label.example.com", false, false},
      {"listed host as a prefix", "https://label.example.com.evil.example", false, false},
      {"null", "null", false, true},
      {"empty", "", false, false},
      {"not an origin", "label.example.com", false, false},
      {"two origins", "https://label.example.com https://evil.example", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(listed.Allows(row.origin), row.listed);
    EXPECT_EQ(withNull.Allows(row.origin), row.withNull);
    EXPECT_TRUE(any.Allows(row.origin));
  }
}

TEST(OriginPolicy, TellsAllowedDeniedAndUnlisted) {
  using enum OriginStanding;
  const OriginPolicy listed =
      OriginPolicy::FromConfig("https://a.example", "https://b.example http://c.example:81", nullptr);
  const OriginPolicy anyButB =
      OriginPolicy::FromConfig("*", "https://b.example", nullptr);
  const OriginPolicy none;
  struct Row {
    const char* name;
    const char* origin;
    OriginStanding listed;
    OriginStanding anyButB;
    OriginStanding none;
  };
  const Row rows[] = {
      {"allowed", "https://a.example", kAllowed, kAllowed, kUnlisted},
      {"denied", "https://b.example", kDenied, kDenied, kUnlisted},
      {"denied, other spelling", "HTTPS://B.example:443/", kDenied, kDenied, kUnlisted},
      {"denied with its port", "http://c.example:81", kDenied, kAllowed, kUnlisted},
      {"same host, other port", "http://c.example", kUnlisted, kAllowed, kUnlisted},
      {"neither", "https://d.example", kUnlisted, kAllowed, kUnlisted},
      {"null", "null", kUnlisted, kAllowed, kUnlisted},
      {"not an origin", "d.example", kDenied, kAllowed, kDenied},
      {"empty", "", kDenied, kAllowed, kDenied},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(listed.Standing(row.origin), row.listed);
    EXPECT_EQ(anyButB.Standing(row.origin), row.anyButB);
    EXPECT_EQ(none.Standing(row.origin), row.none);
  }
}

TEST(OriginPolicy, AnswersMoveAnOriginToOneList) {
  using enum OriginStanding;
  const OriginPolicy start = OriginPolicy::FromConfig("https://a.example", "https://b.example",
                                                      nullptr);
  const OriginPolicy allowedD = start.With("https://d.example", true);
  EXPECT_EQ(allowedD.Standing("https://d.example"), kAllowed);
  EXPECT_EQ(start.Standing("https://d.example"), kUnlisted);  // the original is unchanged
  const OriginPolicy deniedA = allowedD.With("https://a.example", false);
  EXPECT_EQ(deniedA.Standing("https://a.example"), kDenied);
  EXPECT_EQ(deniedA.Origins(), std::vector<std::string>{"https://d.example"});
  EXPECT_EQ(deniedA.DeniedOrigins(),
            (std::vector<std::string>{"https://b.example", "https://a.example"}));
  const OriginPolicy twice = deniedA.With("https://a.example", false);
  EXPECT_EQ(twice.DeniedOrigins(), deniedA.DeniedOrigins());
}

}  // namespace
}  // namespace qb
