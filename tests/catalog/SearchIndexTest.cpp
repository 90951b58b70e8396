#include "catalog/SearchIndex.h"

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "catalog/CatalogueDamage.h"
#include "catalog/CatalogueTable.h"
#include "catalog/CatalogueFixture.h"
#include "catalog/PaperInfos.h"
#include "ProductPaths.h"
#include "catalog/PaperInfosImport.h"

namespace qb {
namespace {

class SearchIndexTest : public qbtest::CatalogueFixture {
 protected:
  void SetUp() override {
    CatalogueFixture::SetUp();
    Exec("INSERT INTO categories (id, categoryId, name) VALUES (1, 1, 'c'), (2, 13, 'd');"
         "INSERT INTO paper_size_infos (id, paperSizeId, name) VALUES (1, 1, 'A4');");
  }

  // Stores a product; `values` are the five searched columns (nullopt: NULL).
  void AddProduct(int id, const std::vector<std::optional<std::string>>& values) {
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    ASSERT_TRUE(db);
    Statement insert = db->Prepare(
        "INSERT INTO paper_infos (id, paperInfoId, category_id, paperSizeInfo_id, goodsType, "
        "goods, searchSelNo, searchNo, goodsPartsNo, goodsDisplayLabel) "
        "VALUES (?1, ?1, ?2, 1, ?3, ?4, ?5, ?6, ?7, ?8)");
    ASSERT_TRUE(insert.BindInt(1, id) && insert.BindInt(2, id % 3 == 0 ? 13 : 1) &&
                insert.BindText(3, id % 2 == 0 ? "1" : "2"));
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i]) {
        ASSERT_TRUE(insert.BindText(static_cast<int>(i + 4), *values[i]));
      }
    }
    ASSERT_EQ(insert.Step(), SQLITE_DONE);
  }
};

struct FilterCase {
  std::string keyword;
  std::optional<std::string> filter;
};

TEST(SearchIndexFilterTest, RunsOfThreeCharactersOrMoreAreLookedUp) {
  const std::vector<FilterCase> cases = {
      {"abc", "\"abc\""},
      {"ZZ-KQW7PA", "\"ZZ-KQW7PA\""},
      {"ab", std::nullopt},
      {"a", std::nullopt},
      {"", std::nullopt},
      {"ラベル", "\"ラベル\""},
      {"ラベ", std::nullopt},
      {"ＡＢＣ", "\"ＡＢＣ\""},
      {"ab cd", "\"ab cd\""},
      {"a\"bc", "\"a\"\"bc\""},
      {"O'Neil", "\"O'Neil\""},
      {"ab%cde_fg", "\"cde\""},
      {"abc%def", "\"abc\" AND \"def\""},
      {"%%%", std::nullopt},
      {"___", std::nullopt},
      {"a_b_c", std::nullopt},
      {"\xff" "abc", std::nullopt},
      {std::string("ab\0cd", 5), std::nullopt},
  };
  for (const FilterCase& c : cases) {
    EXPECT_EQ(SearchIndexFilter(c.keyword), c.filter) << c.keyword;
  }
}

// Pieces the stored values and keywords are made of: letters of both cases,
// digits, blanks, LIKE's wildcards, quotes, Japanese, full-width and
// half-width forms, letters that fold to ASCII only in the index (Kelvin sign,
// dotted capital I) and broken UTF-8.
const std::vector<std::string> kPieces = {
    "a", "B", "c", "D", "k", "x", "Y", "0", "1", "7", " ", "-", "%", "_", "'", "\"", "\\",
    "ラ", "ベ", "ル", "封", "筒", "ａ", "Ａ", "Ｂ", "１", "ｱ", "ｲ", "ア", "イ", "\xE2\x84\xAA",
    "\xC4\xB0", "é", "É", "ß", "\xFF", "\xE3\x81"};

std::string RandomText(std::mt19937& random, size_t shortest, size_t longest) {
  std::uniform_int_distribution<size_t> length(shortest, longest);
  std::uniform_int_distribution<size_t> piece(0, kPieces.size() - 1);
  std::string text;
  for (size_t n = length(random); n > 0; --n) {
    text.append(kPieces[piece(random)]);
  }
  return text;
}

// A piece of `value` with its ASCII letters' case flipped at random.
std::string PieceOf(std::mt19937& random, const std::string& value) {
  if (value.empty()) {
    return value;
  }
  std::uniform_int_distribution<size_t> start(0, value.size() - 1);
  const size_t from = start(random);
  std::uniform_int_distribution<size_t> length(1, std::min<size_t>(9, value.size() - from));
  std::string piece = value.substr(from, length(random));
  std::bernoulli_distribution flip(0.5);
  for (char& c : piece) {
    if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && flip(random)) {
      c ^= 0x20;
    }
  }
  return piece;
}

// Every search mode around one keyword: alone, beside "any category", beside
// a category, beside a value "1" (which also admits 13), in a key that only
// contains "usage", and two keywords at once.
std::vector<std::string> SearchPaths(const std::string& keyword, const std::string& other) {
  return {
      "/dbAccess/SEARCH@usage=" + keyword,
      "/dbAccess/SEARCH@usage=" + keyword + "&category_id=99",
      "/dbAccess/SEARCH@category_id=1&usage=" + keyword,
      "/dbAccess/SEARCH@goodsType=1&usage=" + keyword,
      "/dbAccess/SEARCH@xusagex=" + keyword,
      "/dbAccess/SEARCH@usage=" + keyword + "&usage2=" + other,
  };
}

TEST_F(SearchIndexTest, AnswersAreTheScansByteForByte) {
  std::mt19937 random(20261211);
  std::vector<std::string> stored;
  const std::vector<std::vector<std::optional<std::string>>> fixed = {
      {"ラベル & <封筒>", "ZZ-KQW7PA", "A-100", "GP-1", "Label Sheet"},
      {"ＡＢＣラベル", "ZZ-kqw7pa-2", "１２３", "ｱｲｳｴｵ", "abc_def"},
      {"100% cotton", "SEL_B", "O'Neil", std::nullopt, "a\"quoted\""},
      {"", "ZZ-A0100", std::nullopt, "back\\slash", "mixed Case WORDS"},
      {"\xE2\x84\xAA" "elvin", "\xC4\xB0stanbul", "caf\xC3\xA9", "CAF\xC3\x89", "stra\xC3\x9F" "e"},
      {"broken \xFF\xFE bytes", "trunc\xE3\x81", "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86", "x", "y"},
  };
  int id = 1;
  for (const auto& values : fixed) {
    AddProduct(id++, values);
    for (const auto& value : values) stored.push_back(value.value_or(""));
  }
  std::bernoulli_distribution isNull(0.1);
  for (; id <= 300; ++id) {
    std::vector<std::optional<std::string>> values;
    for (int column = 0; column < 5; ++column) {
      values.push_back(isNull(random) ? std::nullopt
                                      : std::optional<std::string>(RandomText(random, 0, 12)));
      stored.push_back(values.back().value_or(""));
    }
    AddProduct(id, values);
  }

  std::vector<std::string> keywords = {
      "", " ", "a", "ab", "abc", "ABC", "aBc", "k", "K", "kel", "KELVIN", "elvin", "ist", "İst", "CAFÉ",
      "café", "CAFé", "%", "%%", "_", "__", "___", "%a%", "a_c", "abc_def", "abc%def", "100%",
      "'", "O'Neil", "o'neil", "\"quoted\"", "\\", "back\\slash", "ラ", "ラベ", "ラベル",
      "ラベル & <", "ＡＢＣ", "ａｂｃ", "ABC", "ｱｲｳ", "アイウ", "１２３", "123", "zz-kqw7pa",
      "ZZ-KQW7PA", "KQW", "kqw", "mixed case", "CASE WORDS", "label sheet", "cotton",
      "\xFF\xFE", "trunc\xE3\x81", "stra", "STRASSE", "ß", "x", "no such thing at all",
  };
  std::uniform_int_distribution<size_t> anyStored(0, stored.size() - 1);
  for (int n = 0; n < 150; ++n) {
    keywords.push_back(PieceOf(random, stored[anyStored(random)]));
  }
  for (int n = 0; n < 50; ++n) {
    keywords.push_back(RandomText(random, 1, 5));
  }

  std::vector<std::string> paths;
  for (size_t i = 0; i < keywords.size(); ++i) {
    for (std::string& path : SearchPaths(keywords[i], keywords[(i + 1) % keywords.size()])) {
      paths.push_back(std::move(path));
    }
  }
  std::vector<std::optional<std::string>> indexed;
  size_t withRows = 0;
  for (const std::string& path : paths) {
    indexed.push_back(qbtest::SearchAt(path));
    withRows += indexed.back() && indexed.back()->find("<PAPER_GOODS>") != std::string::npos;
  }
  // The answers found products for a good part of the keywords.
  EXPECT_GT(withRows, paths.size() / 4);

  Exec("DROP TABLE paper_infos_search");
  for (size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(indexed[i], qbtest::SearchAt(paths[i])) << paths[i];
  }
}

TEST_F(SearchIndexTest, FollowsInsertsUpdatesAndDeletes) {
  AddProduct(1, {"alpha", "SEL-1", "one", "p1", "d1"});
  AddProduct(2, {"beta", "SEL-2", "two", "p2", "d2"});
  Exec("UPDATE paper_infos SET goods = 'gamma' WHERE id = 1;"
       "UPDATE paper_infos SET goodsType = 'unsearched' WHERE id = 2;"
       "DELETE FROM paper_infos WHERE id = 2;");
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement matches = db->Prepare(
      "SELECT group_concat(rowid) FROM paper_infos_search WHERE paper_infos_search MATCH ?1");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\"alpha\"", ""}, {"\"gamma\"", "1"}, {"\"beta\"", ""}, {"\"SEL\"", "1"}};
  for (const auto& [expression, rowids] : cases) {
    matches.Reset();
    ASSERT_TRUE(matches.BindText(1, expression));
    ASSERT_TRUE(matches.NextRow());
    EXPECT_EQ(matches.Text(0).value_or(""), rowids) << expression;
  }
  Statement check = db->Prepare(
      "INSERT INTO paper_infos_search (paper_infos_search) VALUES ('integrity-check')");
  EXPECT_EQ(check.Step(), SQLITE_DONE);
}

TEST_F(SearchIndexTest, AnOlderCatalogueGetsItsIndexFilledFromItsProducts) {
  AddProduct(1, {"alpha", "SEL-1", "one", "p1", "d1"});
  Exec("DROP TRIGGER paper_infos_search_insert; DROP TRIGGER paper_infos_search_update;"
       "DROP TRIGGER paper_infos_search_delete; DROP TABLE paper_infos_search;");
  AddProduct(2, {"beta", "SEL-2", "two", "p2", "d2"});
  CatalogueSchema definitions;
  definitions.CreateTables();
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement matches = db->Prepare(
      "SELECT group_concat(rowid) FROM paper_infos_search WHERE paper_infos_search MATCH 'SEL'");
  ASSERT_TRUE(matches.NextRow());
  EXPECT_EQ(matches.Text(0).value_or(""), "1,2");
}

// A product answer as the catalogue server sends it, ids `first` to `last`.
std::string ProductAnswer(int first, int last) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<paper_infos>";
  for (int id = first; id <= last; ++id) {
    xml += "<row>";
    for (const ImportField& field : FindCatalogueTable("paper_infos")->fields) {
      const std::string name(field.name);
      std::string value = field.kind == FieldKind::kNumber ? "1" : "";
      if (name == "id" || name == "paperInfoId") value = std::to_string(id);
      if (name == "goods") value = "imported " + std::to_string(id);
      xml += "<" + name + ">" + value + "</" + name + ">";
    }
    xml += "</row>";
  }
  return xml + "</paper_infos>";
}

TEST_F(SearchIndexTest, ImportsKeepTheIndexWhetherBuiltOnceOrRowByRow) {
  const std::string count =
      "SELECT count(*) FROM paper_infos_search WHERE paper_infos_search MATCH 'imported'";
  struct Step {
    int first, last;
    int64_t matches;
  };
  // A first large answer is indexed once at its end; a small one into many
  // products row by row.
  for (const Step& step : {Step{1, 40, 40}, Step{38, 41, 41}}) {
    ASSERT_TRUE(PaperInfosImport().ImportXml(ProductAnswer(step.first, step.last), {}));
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    Statement matches = db->Prepare(count);
    ASSERT_TRUE(matches.NextRow());
    EXPECT_EQ(matches.Int(0), step.matches);
    Statement objects = db->Prepare(
        "SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND name GLOB "
        "'paper_infos_search_*'");
    ASSERT_TRUE(objects.NextRow());
    EXPECT_EQ(objects.Int(0), 3);
  }
}

TEST_F(SearchIndexTest, HealingRebuildsAnIndexThatNoLongerMatchesTheProducts) {
  AddProduct(1, {"alpha", "SEL-1", "one", "p1", "d1"});
  // An entry for a product that does not exist.
  Exec("INSERT INTO paper_infos_search (rowid, goods) VALUES (9, 'ghost')");
  NoteCatalogueResult(SQLITE_CORRUPT_VTAB);
  EXPECT_FALSE(MoveDamagedCatalogueAside());
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement check = db->Prepare(
      "INSERT INTO paper_infos_search (paper_infos_search) VALUES ('integrity-check')");
  EXPECT_EQ(check.Step(), SQLITE_DONE);
  Statement matches = db->Prepare(
      "SELECT group_concat(rowid) FROM paper_infos_search WHERE paper_infos_search MATCH "
      "'ghost OR alpha'");
  ASSERT_TRUE(matches.NextRow());
  EXPECT_EQ(matches.Text(0).value_or(""), "1");
  EXPECT_FALSE(CatalogueSuspect());
}

}  // namespace
}  // namespace qb
