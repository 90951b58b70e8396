#include "catalog/TableImporter.h"

#include <gtest/gtest.h>

#include "catalog/CatalogueFixture.h"
#include "catalog/CatalogueTable.h"
#include "catalog/PaperInfosImport.h"

namespace qb {
namespace {

class TableImporterTest : public qbtest::CatalogueFixture {
 protected:
  // Every row of `sql` as "a|b|c" (NULL as "∅").
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    Statement statement = db->Prepare(sql);
    while (statement.Valid() && statement.NextRow()) {
      std::string row;
      for (int i = 0; i < statement.ColumnCount(); ++i) {
        const std::optional<std::string_view> text = statement.Text(i);
        row += (i ? "|" : "") + (text ? std::string(*text) : std::string("NULL"));
      }
      rows.push_back(row);
    }
    return rows;
  }
};

// The importer of the catalogue table `name`.
TableImporter ImporterOf(std::string_view name) { return TableImporter(*FindCatalogueTable(name)); }

std::string Answer(const std::string& table, const std::string& records) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + table + ">" + records + "</" + table +
         ">";
}

TEST_F(TableImporterTest, InsertsUpdatesAndSkipsRecords) {
  Exec("INSERT INTO categories VALUES (1, 1, 'old', 't', '2013-01-01 00:00:00', '2013-01-01 00:00:00')");
  Exec("INSERT INTO paper_relation2s VALUES (1, 7, 'A-1', 5, 'c0', 'u0')");
  Exec("INSERT INTO kbn_infos VALUES (1, 1, 1, 'old', 'c0', 'u0')");
  struct Row {
    const char* name;
    const TableImporter& importer;
    std::string answer;
    std::string query;
    std::vector<std::string> rows;
  };
  const TableImporter categories = ImporterOf("categories");
  const TableImporter sizes = ImporterOf("paper_size_infos");
  const TableImporter relations = ImporterOf("paper_relation2s");
  const TableImporter kbn = ImporterOf("kbn_infos");
  const TableImporter generic = ImporterOf("generic_group_infos");
  const Row rows[] = {
      {"update keeps create_at and empties missing text, quote stored exactly", categories,
       Answer("categories",
              "<r><id>1</id><categoryId>9</categoryId><name>new</name><create_at>cX</create_at>"
              "<update_at>u1</update_at></r>"
              "<r><update_at>u2</update_at><name>O'Brien &amp; co</name><id>2</id>"
              "<categoryId>2</categoryId><thumbnail>/c.png</thumbnail><create_at>c2</create_at></r>"),
       "SELECT * FROM categories ORDER BY id",
       {"1|9|new||2013-01-01 00:00:00|u1", "2|2|O'Brien & co|/c.png|c2|u2"}},
      {"missing text is empty, bad numbers skip the record, hex and overflow read as SQL does", sizes,
       Answer("paper_size_infos",
              "<r><id>1</id><paperSizeId>1</paperSizeId><etcId>0</etcId><sizeH>297.0</sizeH>"
              "<sizeW>210</sizeW></r>"
              "<r><id>2</id><paperSizeId>2</paperSizeId><name>B5</name><etcId></etcId>"
              "<sizeH>1</sizeH><sizeW>1</sizeW></r>"
              "<r><id>3</id><paperSizeId>1+1</paperSizeId><etcId>0</etcId><sizeH>1</sizeH><sizeW>1</sizeW></r>"
              "<r><id>4); DROP TABLE kbn_infos; --</id><paperSizeId>1</paperSizeId><etcId>0</etcId>"
              "<sizeH>1</sizeH><sizeW>1</sizeW></r>"
              "<r><paperSizeId>1</paperSizeId><etcId>0</etcId><sizeH>1</sizeH><sizeW>1</sizeW></r>"
              "<r><id> 5 </id><paperSizeId>-3</paperSizeId><etcId>1e2</etcId><sizeH>.5</sizeH>"
              "<sizeW>0x10</sizeW><name>first</name><name>second</name><extra>x</extra></r>"
              "<r><id>6</id><paperSizeId>-0x8000000000000000</paperSizeId><etcId>0</etcId>"
              "<sizeH>1</sizeH><sizeW>1</sizeW></r>"
              "<r><id>7</id><paperSizeId>-0xFFFFFFFFFFFFFFFF</paperSizeId><etcId>0</etcId>"
              "<sizeH>1</sizeH><sizeW>1</sizeW></r>"
              "<r><id>8</id><paperSizeId>1</paperSizeId><etcId>1e-999</etcId><sizeH>1e999</sizeH>"
              "<sizeW>-1e999</sizeW></r>"),
       "SELECT id, paperSizeId, name, etcId, sizeH, sizeW, create_at FROM paper_size_infos ORDER BY id",
       {"1|1||0|297.0|210.0|", "5|-3|first|100|0.5|16.0|", "7|1||0|1.0|1.0|", "8|1||0|Inf|-Inf|"}},
      {"relations: kbn is 3 on insert and kept on update", relations,
       Answer("paper_relation2s",
              "<r><id>1</id><kbn>5</kbn><goodsPartsNo>A-2</goodsPartsNo><itemId>6</itemId>"
              "<create_at>c1</create_at><update_at>u1</update_at></r>"
              "<r><id>2</id><kbn>5</kbn><goodsPartsNo>B-1</goodsPartsNo><itemId>12</itemId>"
              "<create_at>c2</create_at><update_at>u2</update_at></r>"),
       "SELECT id, kbn, goodsPartsNo, itemId, typeof(itemId), create_at, update_at FROM paper_relation2s ORDER BY id",
       {"1|7|A-2|6|integer|c0|u1", "2|3|B-1|12|integer|c2|u2"}},
      {"kbn_infos update stores the new name", kbn,
       Answer("kbn_infos", "<r><id>1</id><kbn>2</kbn><kbnId>3</kbnId><name>renamed</name>"
                           "<create_at>c1</create_at><update_at>u1</update_at></r>"),
       "SELECT * FROM kbn_infos", {"1|2|3|renamed|c0|u1"}},
      {"generic groups keep digits as text", generic,
       Answer("generic_group_infos",
              "<r><id>1</id><groupInfoId>1</groupInfoId><kbn>4</kbn><level>0</level>"
              "<subLevel>12</subLevel><hasSubLevel>1</hasSubLevel><update_at>u</update_at></r>"),
       "SELECT typeof(level), subLevel, typeof(hasSubLevel), name FROM generic_group_infos",
       {"text|12|text|"}},
      {"empty root stores nothing", categories, Answer("categories", ""),
       "SELECT count(*) FROM categories", {"2"}},
      {"malformed answer stores nothing", categories,
       Answer("categories", "<r><id>3</id><categoryId>3</categoryId></r><r><id>4</id"),
       "SELECT count(*) FROM categories", {"2"}},
      {"no declaration: no second top-level node", categories,
       "<categories><r><id>5</id><categoryId>5</categoryId></r></categories>",
       "SELECT count(*) FROM categories", {"2"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.importer.ImportXml(row.answer);
    EXPECT_EQ(Rows(row.query), row.rows);
  }
  EXPECT_EQ(Rows("SELECT count(*) FROM kbn_infos"), std::vector<std::string>{"1"});
}

TEST_F(TableImporterTest, AnInterruptedAnswerStoresNothing) {
  std::string records;
  for (int i = 1; i <= 600; ++i) {
    records += "<r><id>" + std::to_string(i) + "</id><categoryId>1</categoryId></r>";
  }
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(ImporterOf("categories").ImportXml(Answer("categories", records), &stop));
  EXPECT_EQ(Rows("SELECT count(*) FROM categories"), std::vector<std::string>{"0"});
  EXPECT_TRUE(ImporterOf("categories").ImportXml(Answer("categories", records)));
  EXPECT_EQ(Rows("SELECT count(*) FROM categories"), std::vector<std::string>{"600"});
}

// A large answer is read ahead on another thread while it is stored: every
// record lands with its values, escapes and empty fields as one record at a
// time gives them; an unreadable record far in stores nothing; a stop part of
// the way stores nothing and leaves no reading behind.
TEST_F(TableImporterTest, ALargeAnswerReadAheadStoresEveryRecordExactly) {
  std::string records;
  std::vector<std::string> expected;
  for (int i = 1; i <= 5000; ++i) {
    const std::string name = i % 7 == 0 ? "" : "n" + std::to_string(i) + (i % 5 ? "" : " &amp; co");
    records += "<r><id>" + std::to_string(i) + "</id><categoryId>" + std::to_string(i % 9) +
               "</categoryId><name>" + name + "</name></r>";
    expected.push_back(std::to_string(i) + "|" + std::to_string(i % 9) + "|" +
                       (i % 7 == 0 ? "" : "n" + std::to_string(i) + (i % 5 ? "" : " & co")));
  }
  const std::string answer = Answer("categories", records);
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(ImporterOf("categories").ImportXml(answer, &stop));
  EXPECT_EQ(Rows("SELECT count(*) FROM categories"), std::vector<std::string>{"0"});
  std::string broken = answer;
  broken.replace(broken.find("<id>4000</id>"), 13, "<id>4000</i>");
  EXPECT_FALSE(ImporterOf("categories").ImportXml(broken));
  EXPECT_EQ(Rows("SELECT count(*) FROM categories"), std::vector<std::string>{"0"});

  ASSERT_TRUE(ImporterOf("categories").ImportXml(answer));
  EXPECT_EQ(Rows("SELECT id, categoryId, name FROM categories ORDER BY id"), expected);
}

std::string Product(const std::string& id, const std::string& pictures) {
  std::string record = "<r><id>" + id + "</id><paperInfoId>" + id +
                       "</paperInfoId><category_id>1</category_id><goods>G" + id + "</goods>";
  for (const char* number :
       {"goodsDrawSize", "paperSizeInfo_id", "templateInfo_id", "paperFieldsNo", "paperFieldsHNo",
        "paperFieldsWNo", "paperOnePieceH", "paperOnePieceW", "paperUnfiliedSpaceU",
        "paperUnfiliedSpaceD", "paperUnfiliedSpaceL", "paperUnfiliedSpaceR",
        "paperUnfiliedSpaceUD", "paperUnfiliedSpaceLR"}) {
    record += std::string("<") + number + ">1</" + number + ">";
  }
  return record + pictures + "<create_at>c" + id + "</create_at><update_at>u" + id +
         "</update_at><jan_code>49" + id + "</jan_code></r>";
}

TEST_F(TableImporterTest, ProductsQueueTheirPicturesAndKeepLocalColumns) {
  // A catalogue made before jan_code existed, with a product placed locally.
  Exec("DROP TABLE paper_infos");
  Exec("CREATE TABLE paper_infos (id INTEGER PRIMARY KEY, paperInfoId INTEGER, category_id INTEGER, "
       "goods TEXT, goodsPartsNo TEXT, searchNo TEXT, searchSelNo TEXT, goodsBackFront TEXT, "
       "goodsAllEdit TEXT, goodsDisplayLabel TEXT, goodsThumbName TEXT, goodsThumbName2 TEXT, "
       "goodsPictFileName TEXT, goodsPictPartsLabel TEXT, goodsPictPartsCut TEXT, "
       "goodsPictPartsBending TEXT, goodsPictPartsDesign1 TEXT, goodsPictPartsDesign2 TEXT, "
       "goodsPictMask TEXT, goodsType TEXT, goodsLabel TEXT, goodsDrawSize INTEGER, "
       "paperSizeInfo_id INTEGER, templateInfo_id INTEGER, paperFieldsNo INTEGER, "
       "paperLocationType INTEGER, paperFieldsHNo INTEGER, paperFieldsWNo INTEGER, "
       "paperOnePieceH REAL, paperOnePieceW REAL, paperUnfiliedSpaceU REAL, "
       "paperUnfiliedSpaceD REAL, paperUnfiliedSpaceL REAL, paperUnfiliedSpaceR REAL, "
       "paperUnfiliedSpaceUD REAL, paperUnfiliedSpaceLR REAL, partsUrl TEXT, create_at TEXT, "
       "update_at TEXT)");
  Exec("INSERT INTO paper_infos (id, paperLocationType, create_at) VALUES (1, 7, 'c-local')");

  const std::string answer = Answer(
      "paper_infos",
      Product("1", "<goodsThumbName>/t/1.png</goodsThumbName><goodsThumbName2>t2.png</goodsThumbName2>"
                   "<goodsPictFileName>/svg/1.svg</goodsPictFileName>"
                   "<goodsPictPartsLabel>/l/1.png</goodsPictPartsLabel>"
                   "<goodsPictPartsCut>cut.png</goodsPictPartsCut>"
                   "<goodsPictPartsBending>/b/1.png</goodsPictPartsBending>"
                   "<goodsPictPartsDesign1>/d1/1.png</goodsPictPartsDesign1>"
                   "<goodsPictPartsDesign2>/d2/1.png</goodsPictPartsDesign2>"
                   "<goodsPictMask>mask.png</goodsPictMask>") +
          // A record whose number is missing is skipped; its pictures still go.
          "<r><id>2</id><goodsThumbName>/t/2.png</goodsThumbName><goodsPictMask>/m/2.png</goodsPictMask></r>");
  std::vector<std::string> queued;
  EXPECT_TRUE(PaperInfosImport().ImportXml(
      answer, [&](std::string_view url) { queued.emplace_back(url); }));
  EXPECT_EQ(queued, (std::vector<std::string>{"/t/1.png", "t2.png", "/svg/1.svg", "/l/1.png",
                                              "/b/1.png", "/d1/1.png", "/d2/1.png", "/t/2.png",
                                              "", "", "", "", "", "/m/2.png"}));
  EXPECT_EQ(Rows("SELECT id, goods, paperLocationType, create_at, update_at, jan_code FROM paper_infos"),
            std::vector<std::string>{"1|G1|7|c-local|u1|491"});
}

}  // namespace
}  // namespace qb
