#include "catalog/ReadSession.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalog/CatalogueDamage.h"
#include "catalog/CatalogueFixture.h"
#include "catalog/Categories.h"
#include "catalog/GenericGroupInfos.h"
#include "catalog/PaperInfos.h"
#include "ProductPaths.h"
#include "catalog/PaperSizeInfos.h"
#include "catalog/PictGroupTopLevelInfos.h"
#include "catalog/TemplateInfos.h"
#include "update/CatalogueRecovery.h"
#include "util/MacAddress.h"

namespace qb {
namespace {

// Rows for every query below; `tag` goes into each answer so that two
// catalogues built with different tags answer differently everywhere.
std::string CatalogueRows(const std::string& tag) {
  return "INSERT INTO categories (id, categoryId, name) VALUES (1, 1, '" + tag + "');"
         "INSERT INTO paper_size_infos (id, paperSizeId, name) VALUES (1, 1, '" + tag + "');"
         "INSERT INTO paper_infos (id, paperInfoId, category_id, paperSizeInfo_id, goods, "
         "  searchSelNo, goodsPartsNo, goodsBackFront) VALUES"
         "  (1, 1, 1, 1, 'Label " + tag + "', 'SEL-1', 'GP-1', '表'),"
         "  (2, 2, 1, 1, 'Sheet " + tag + "', 'SEL-2', 'GP-2', '裏');"
         "INSERT INTO paper_relation2s (id, kbn, goodsPartsNo, itemId) VALUES (1, 3, 'GP-1', 7);"
         "INSERT INTO pict_group_top_level_infos (id, topLevelId, paperGroupId, name) VALUES"
         "  (1, 1, 7, '" + tag + "');"
         "INSERT INTO generic_group_infos (id, groupInfoId, kbn, level, name) VALUES"
         "  (1, 1, 4, '0', '" + tag + "'), (2, 2, 4, '0', 'two');"
         "INSERT INTO template_infos (id, templateInfoId, templateName) VALUES (1, 1, '" + tag +
         "');"
         "INSERT INTO logs (id, mac_address, event_type, event_contents1, event_contents3, "
         "  create_at) VALUES"
         "  (1, ?1, 3, 'a/x.png', 'SEL-1', '1'), (2, ?1, 3, 'b/y.png', 'SEL-2', '2'),"
         "  (3, ?1, 3, 'c/z.png', 'SEL-1', '3'), (4, ?1, 3, 'd/w.png', 'SEL-2', '4'),"
         "  (5, ?1, 3, 'e/v.png', 'SEL-1', '5'), (6, ?1, 3, 'f/u.png', 'SEL-2', '6');";
}

// Runs the rows of `tag` on `db`, this machine's identity bound to ?1.
void FillCatalogue(CatalogueDb& db, const std::string& tag) {
  const std::string sql = CatalogueRows(tag);
  const char* next = sql.c_str();
  while (*next != '\0') {
    sqlite3_stmt* raw = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.Handle(), next, -1, &raw, &next), SQLITE_OK)
        << sqlite3_errmsg(db.Handle());
    Statement statement(raw);
    if (raw == nullptr) {
      continue;
    }
    if (sqlite3_bind_parameter_count(raw) > 0) {
      ASSERT_TRUE(statement.BindText(1, GetMacAddress()));
    }
    ASSERT_EQ(statement.Step(), SQLITE_DONE) << sqlite3_errmsg(db.Handle());
  }
}

struct Route {
  const char* name;
  std::function<std::optional<std::string>()> run;
};

// The catalogue routes' queries, with filters that bind different values into
// the same statements.
const std::vector<Route>& Routes() {
  static const std::vector<Route> routes = {
      {"categories", [] { return Categories().GetCategoryList(); }},
      {"paper sizes", [] { return PaperSizeInfos().GetPaperSizeList(); }},
      {"search Label", [] { return qbtest::SearchAt("/dbAccess/SEARCH@usage=Label"); }},
      {"search Sheet", [] { return qbtest::SearchAt("/dbAccess/SEARCH@usage=Sheet"); }},
      {"search category",
       [] { return qbtest::SearchAt("/dbAccess/SEARCH@category_id=1"); }},
      {"search refused key",
       [] { return qbtest::SearchAt("/dbAccess/SEARCH@a b=1"); }},
      {"detail front",
       [] {
         return qbtest::DetailAt("/dbAccess/DETAIL@searchSelNo=SEL-1&goodsBackFront=front");
       }},
      {"detail back",
       [] {
         return qbtest::DetailAt("/dbAccess/DETAIL@searchSelNo=SEL-2&goodsBackFront=back");
       }},
      {"recent", [] { return qbtest::RecentAt("/dbAccess/RECENT@mac_address=x"); }},
      {"top groups", [] { return PictGroupTopLevelInfos().GetTopLevelList("SEL-1"); }},
      {"generic groups", [] { return GenericGroupInfos().GetGroupList({"level", "0"}); }},
      // Reads five of the six log rows: its statement stops before its end.
      {"recent pictures",
       [] {
         return GenericGroupInfos().GetPictList({"level", "99"},
                                          GenericGroupInfos::PictMode::kMaterial);
       }},
      {"templates", [] { return TemplateInfos().GetTemplateList("GP-1"); }},
  };
  return routes;
}

// The answer of `route` on a thread of its own, whose connection has served
// nothing before.
std::optional<std::string> OnFreshThread(const Route& route) {
  std::optional<std::string> answer;
  std::thread([&] { answer = route.run(); }).join();
  return answer;
}

class ReadSessionTest : public qbtest::CatalogueFixture {
 protected:
  void SetUp() override {
    CatalogueFixture::SetUp();
    Fill("first");
  }

  void Fill(const std::string& tag) {
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    ASSERT_TRUE(db);
    FillCatalogue(*db, tag);
  }

  std::string CataloguePath() const { return CatalogueDb::Path(); }
};

TEST_F(ReadSessionTest, NoStateLeaksFromOneRequestToTheNext) {
  std::vector<std::optional<std::string>> alone;
  for (const Route& route : Routes()) {
    alone.push_back(OnFreshThread(route));
  }
  int logId = 100;
  for (const Route& first : Routes()) {
    for (size_t i = 0; i < Routes().size(); ++i) {
      const Route& second = Routes()[i];
      SCOPED_TRACE(std::string(first.name) + " then " + second.name);
      first.run();
      EXPECT_EQ(second.run(), alone[i]);
      // Nothing is left reading: a writer commits at once.
      EXPECT_TRUE(ExecuteSql("INSERT INTO logs (id) VALUES (" + std::to_string(logId++) + ")"));
    }
  }
}

TEST_F(ReadSessionTest, AReplacedCatalogueIsNeverAnswered) {
  std::vector<std::optional<std::string>> before;
  for (const Route& route : Routes()) {
    before.push_back(route.run());
  }
  // A second catalogue built beside the first, then moved over it.
  const std::string replacement = CataloguePath() + ".new";
  {
    std::optional<CatalogueDb> db = CatalogueDb::OpenFile(replacement, CatalogueDb::Mode::kReadWrite);
    ASSERT_TRUE(db);
    for (const std::string& sql : CatalogueCreateStatements()) {
      ASSERT_EQ(sqlite3_exec(db->Handle(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    FillCatalogue(*db, "second");
  }
  ASSERT_EQ(std::rename(replacement.c_str(), CataloguePath().c_str()), 0);
  for (size_t i = 0; i < Routes().size(); ++i) {
    const Route& route = Routes()[i];
    SCOPED_TRACE(route.name);
    const std::optional<std::string> answer = route.run();
    EXPECT_EQ(answer, OnFreshThread(route));
    if (answer && answer->find("first") != std::string::npos) {
      ADD_FAILURE() << "answered from the replaced file: " << *answer;
    }
  }
}

TEST_F(ReadSessionTest, AHealedCatalogueIsNeverAnswered) {
  const auto categories = [] { return Categories().GetCategoryList(); };
  ASSERT_NE(categories().find("first"), std::string::npos);
  {
    // Damaged in place: the connection this thread keeps still has it open.
    std::fstream file(CataloguePath(), std::ios::in | std::ios::out | std::ios::binary);
    const std::string junk(4096, 'x');
    file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  EXPECT_EQ(categories(), "<categoryList>\n</categoryList>\n");
  ASSERT_TRUE(CatalogueSuspect());
  CatalogueSchema definitions;
  ASSERT_TRUE(RecoverDamagedCatalogue(definitions));
  Fill("healed");
  const std::string answer = categories();
  EXPECT_NE(answer.find("healed"), std::string::npos) << answer;
  EXPECT_EQ(answer, *OnFreshThread({"categories", categories}));
}

TEST_F(ReadSessionTest, RowsWrittenBetweenRequestsAreSeen) {
  const auto categories = [] { return Categories().GetCategoryList(); };
  ASSERT_EQ(categories().find("later"), std::string::npos);
  Exec("INSERT INTO categories (id, categoryId, name) VALUES (2, 2, 'later')");
  EXPECT_NE(categories().find("later"), std::string::npos);
}

}  // namespace
}  // namespace qb
