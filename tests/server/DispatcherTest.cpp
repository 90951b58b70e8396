#include "server/Dispatcher.h"
#include "server/RouteArguments.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>


namespace qb {
namespace {

std::string Answer(CAppData* app, const std::string& request) {
  CReqParse parse;
  parse.Parse(request);
  return BuildAnswer(app, &parse);
}

TEST(Dispatcher, AnswerFormsAreExact) {
  EXPECT_EQ(SuccessAnswer(""),
            "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain\r\n"
            "Content-Length: 0\r\n\r\n");
  // The length counts bytes, not characters.
  EXPECT_EQ(SuccessAnswer("\xE3\x81\x82"),
            "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain\r\n"
            "Content-Length: 3\r\n\r\n\xE3\x81\x82");
}

// Only the route answered from the request alone is answered on the
// listener; the cheap test on the bytes never rules out a request the exact
// test takes, and routes matched before it keep their requests.
TEST(Dispatcher, OnlyTheFixedAnswerRouteIsAnsweredAtOnce) {
  struct Case {
    std::string request;
    bool might;
    bool exact;
  };
  const std::string padding(5000, 'a');
  const Case cases[] = {
      {"GET /dbAccess/IMG_URL HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true, true},
      {"POST /dbAccess/IMG_URL?x=1 HTTP/1.1\r\n\r\n", true, true},
      {"GET /print/init/dbAccess/IMG_URL HTTP/1.1\r\n\r\n", true, false},
      {"GET /dbAccess/DB_URL HTTP/1.1\r\nReferer: /dbAccess/IMG_URL\r\n\r\n", true, false},
      {"GET /dbAccess/SEARCH HTTP/1.1\r\n\r\n", false, false},
      {"GET /dbAccess/%49MG_URL HTTP/1.1\r\n\r\n", false, true},  // a worker answers it
      {"GET /dbAccess/IMG_URL HTTP/1.1\r\nX: " + padding + "\r\n\r\n", false, true},
  };
  for (const Case& one : cases) {
    EXPECT_EQ(MightAnswerAtOnce(one.request), one.might) << one.request.substr(0, 60);
    CReqParse parsed;
    ASSERT_TRUE(parsed.Parse(one.request));
    EXPECT_EQ(AnswersAtOnce(parsed), one.exact) << one.request.substr(0, 60);
  }
}

// No route hides behind an earlier one whose text it contains.
TEST(Dispatcher, EveryRouteIsFoundByItsText) {
  for (const std::string_view text : RouteTexts()) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FindRoute("/" + std::string(text)), text);
  }
}

TEST(Dispatcher, RoutesMatchTheFirstContainedTextCaseSensitively) {
  struct Row {
    const char* path;
    std::optional<std::string_view> route;  // the route text expected
  };
  const Row rows[] = {
      {"/print/init", "print/init"},
      {"/print/add", "print/add"},
      {"/saveqx/save", "saveqx/save"},
      {"/dbAccess/IMG_URL", "dbAccess/IMG_URL"},
      {"/dbAccess/UPDATE_DB", "dbAccess/UPDATE_DB"},
      {"/dbAccess/UPDATE_STATUS_DB", "dbAccess/UPDATE_STATUS_DB"},
      {"/dbAccess/LIST_P&P", "dbAccess/LIST"},
      {"/x/dbAccess/SEARCH@a=1", "dbAccess/SEARCH"},
      {"/dbAccess/GENERIC_GROUP@backlist&3", "dbAccess/GENERIC_GROUP"},
      {"/dbAccess/SOZAI_DOWNLOAD@a=0&b&c", "dbAccess/SOZAI_DOWNLOAD"},
      {"/dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD", "dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD"},
      {"/dbAccess/TEMPLATE_DOWNLOAD@x", "dbAccess/TEMPLATE_DOWNLOAD"},
      {"/dbAccess/LOG@a", "dbAccess/LOG"},
      {"/dbAccess/PICT_RECENT@a", "dbAccess/PICT_RECENT"},
      {"/dbAccess/SEARCH/print/init", "print/init"},  // table order decides, not position
      {"/PRINT/INIT", std::nullopt},
      {"/", std::nullopt},
      {"/dbaccess/list&C", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(FindRoute(row.path), row.route);
  }
}

TEST(RouteArguments, ArgumentTextIsTheSecondPieceAtAtAndItsConditionsAreSplitAtAmpersand) {
  EXPECT_EQ(ArgumentText("/dbAccess/LOG"), std::nullopt);
  EXPECT_EQ(ArgumentText("/dbAccess/TOP_GROUP@list&12"), "list&12");
  EXPECT_EQ(ArgumentText("/dbAccess/LOG@@x"), "");
  EXPECT_EQ(ArgumentText("/a@b@c"), "b");
  EXPECT_EQ(ArgumentText("/dbAccess/LOG@"), "");

  EXPECT_EQ(ArgumentConditions("/dbAccess/SEARCH"), std::nullopt);
  EXPECT_EQ(ArgumentConditions("/dbAccess/SEARCH@a=1&&usage&b=2=3@x=9"),
            (std::vector<Condition>{{"a", "1"}, {"", std::nullopt}, {"usage", std::nullopt},
                                    {"b", "2"}}));
  EXPECT_EQ(ArgumentConditions("/dbAccess/SEARCH@"),
            (std::vector<Condition>{{"", std::nullopt}}));
}

TEST(RouteArguments, ConditionIsTheNameAndTheValueUpToASecondEquals) {
  struct Row {
    std::string_view piece;
    Condition condition;
  };
  const Row rows[] = {
      {"a=1", {"a", "1"}},       {"a", {"a", std::nullopt}}, {"", {"", std::nullopt}},
      {"=", {"", ""}},           {"a=", {"a", ""}},          {"=v", {"", "v"}},
      {"a=2=3", {"a", "2"}},     {"a==3", {"a", ""}},        {"a b=x' OR 1", {"a b", "x' OR 1"}},
      {"名=値", {"名", "値"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.piece);
    EXPECT_EQ(ParseCondition(row.piece), row.condition);
  }
  // The first "&" piece only.
  EXPECT_EQ(FirstCondition("x=P-100&y=2"), (Condition{"x", "P-100"}));
  EXPECT_EQ(FirstCondition("P-100"), (Condition{"P-100", std::nullopt}));
  EXPECT_EQ(FirstCondition("&x=1"), (Condition{"", std::nullopt}));
  EXPECT_EQ(FirstCondition(""), (Condition{"", std::nullopt}));
}

TEST(RouteArguments, GroupSelectionNeedsASelectorAndOneTarget) {
  struct Row {
    std::string_view argument;
    std::optional<std::string> selector;
    std::vector<std::string> targets;
  };
  const Row rows[] = {
      {"", std::nullopt, {}},
      {"list", std::nullopt, {}},
      {"list&", "list", {""}},
      {"&", "", {""}},
      {"images&topLevelId=3&subLevelId=2", "images", {"topLevelId=3", "subLevelId=2"}},
      {"images&a=1&&b", "images", {"a=1", "", "b"}},
      {"list&topLevelId = 3 and name = 'x'", "list", {"topLevelId = 3 and name = 'x'"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argument);
    const std::optional<GroupSelection> selection = ParseGroupSelection(row.argument);
    ASSERT_EQ(selection.has_value(), row.selector.has_value());
    if (selection) {
      EXPECT_EQ(selection->selector, *row.selector);
      EXPECT_EQ(selection->targets, row.targets);
    }
  }
  // A selector is matched by part, case and all.
  const GroupSelection back{"xbacklisty", {""}};
  EXPECT_TRUE(back.Selects("backlist"));
  EXPECT_TRUE(back.Selects("list"));
  EXPECT_FALSE(back.Selects("images"));
  EXPECT_FALSE((GroupSelection{"pictImages2", {""}}.Selects("images")));
}

TEST(RouteArguments, UsageValuesAreTheValuesOfTheFirstTwoPieces) {
  struct Row {
    std::string_view argument;
    std::optional<UsageValues> values;
  };
  const Row rows[] = {
      {"p=SEL-1&t=2024-01-02 03:04:05", UsageValues{"SEL-1", "2024-01-02 03:04:05"}},
      {"x=SEL-1&y=T&z=9", UsageValues{"SEL-1", "T"}},
      {"p=&t=", UsageValues{"", ""}},
      {"p=a=b&t=T", UsageValues{"a", "T"}},
      {"=a&=b", UsageValues{"a", "b"}},
      {"p=SEL-1", std::nullopt},
      {"p=SEL-1&t", std::nullopt},
      {"SEL-1&t=T", std::nullopt},
      {"&", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argument);
    EXPECT_EQ(ParseUsageValues(row.argument), row.values);
  }
}

TEST(RouteArguments, MaterialArgumentsTakeThreePiecesAndOnlyKindsZeroToThree) {
  struct Row {
    std::string_view argument;
    std::optional<MaterialArguments> material;
  };
  const Row rows[] = {
      {"kind=2&folder=top001&value=1",
       MaterialArguments{MaterialKind::kGroupArchives, "top001", "1"}},
      {"kind=0&folder=a&value=b", MaterialArguments{MaterialKind::kNone, "a", "b"}},
      {"k=3=9&f=a=x&v=b&w=c", MaterialArguments{MaterialKind::kBackImages, "a", "b"}},
      {"kind=1&folder&value", MaterialArguments{MaterialKind::kLevelImages, "", ""}},
      {"kind=1&&", MaterialArguments{MaterialKind::kLevelImages, "", ""}},
      {"kind=4&folder=a&value=b", MaterialArguments{std::nullopt, "a", "b"}},
      {"kind=12&folder=a&value=b", MaterialArguments{std::nullopt, "a", "b"}},
      {"kind=-1&folder=a&value=b", MaterialArguments{std::nullopt, "a", "b"}},
      {"kind=&folder=a&value=b", MaterialArguments{std::nullopt, "a", "b"}},
      {"kind&folder=a&value=b", MaterialArguments{std::nullopt, "a", "b"}},
      {"kind=2&folder=top001", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.argument);
    EXPECT_EQ(ParseMaterialArguments(row.argument), row.material);
  }
}

TEST(Dispatcher, ChoosesTheAnswerForm) {
  CAppData app;
  const std::string ok = SuccessAnswer("");
  const std::string notFound(kNotFoundAnswer);
  const std::string error(kServerErrorAnswer);
  struct Row {
    const char* name;
    std::string request;
    const std::string& answer;
  };
  const Row rows[] = {
      {"cheap route", "GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n", ok},
      {"route text anywhere", "GET /x/dbAccess/IMG_URL/y?q=1 HTTP/1.1\r\n\r\n", ok},
      {"no request line", "Host: x\r\n\r\n", notFound},
      {"empty target", "GET\r\n\r\n", notFound},
      {"no route", "GET / HTTP/1.1\r\n\r\n", error},
      {"case matters", "GET /PRINT/INIT HTTP/1.1\r\n\r\n", error},
      {"argument text missing", "GET /dbAccess/TOP_GROUP HTTP/1.1\r\n\r\n", error},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Answer(&app, row.request), row.answer);
  }
  EXPECT_EQ(BuildAnswer(&app, nullptr), notFound);
  app.RequestStop();
  EXPECT_EQ(Answer(&app, "GET /dbAccess/IMG_URL HTTP/1.1\r\n\r\n"), notFound);
}

TEST(DispatcherConcurrency, SessionIdentifiersAreUniqueAcrossThreads) {
  constexpr int kThreads = 8;
  constexpr int kEach = 1000;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) seen[t].push_back(NextSessionId());
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& ids : seen) all.insert(ids.begin(), ids.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
  // Decimal text of consecutive numbers.
  const unsigned long long next = std::stoull(NextSessionId());
  EXPECT_EQ(std::stoull(NextSessionId()), next + 1);
}

}  // namespace
}  // namespace qb
