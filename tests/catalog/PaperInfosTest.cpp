#include "catalog/PaperInfos.h"
#include "ProductPaths.h"

#include <filesystem>
#include <optional>
#include <string>

#include "catalog/CatalogueFixture.h"
#include "catalog/LogsTable.h"
#include "util/MacAddress.h"

namespace qb {
namespace {

// Eight products: 101 fills every column; 104 has no category row and 105 no
// paper size, so neither is ever answered; 106 has the empty category.
constexpr const char* kCatalogue = R"sql(
INSERT INTO categories (id, categoryId, name, thumbnail) VALUES
  (1, 1, 'ラベル & <封筒>', 'c1.png'), (2, 13, 'Thirteen', NULL), (3, 5, 'Five', 'c5.png'),
  (4, '', 'Blank', NULL);
INSERT INTO paper_size_infos (id, paperSizeId, name, etcId, sizeH, sizeW) VALUES
  (1, 1, 'A4', 0, 297, 210), (2, 13, 'Hidden', 0, 1, 1), (3, NULL, 'NoId', 0, 2, 2),
  (4, 2, 'はがき', 0, 148, 100.5);
INSERT INTO paper_infos VALUES (1, 101, 1, 'ラベル&<A>', 'GP-1', 'S1', 'SEL-B', '表', '全体',
  'DL1', 't1.png', 't2.png', '/svg/f1.svg', 'pl', 'pc', 'pb', 'd1', 'd2', 'm1', 'T', 'L', 3, 1, 7,
  12, 2, 4, 3, 20.5, 30.25, 1.5, 2, 0, 3.5, 4, 5.5, 'http://x/p.svg', '2013-01-01 00:00:00',
  '2013-01-01 00:00:00', '4901234567890');
INSERT INTO paper_infos (id, paperInfoId, category_id, searchSelNo, goodsType, paperSizeInfo_id)
  VALUES (2, 102, 13, 'SEL-A', '13', 2);
INSERT INTO paper_infos (id, paperInfoId, category_id, goods, searchNo, searchSelNo,
  goodsBackFront, goodsType, paperSizeInfo_id, jan_code)
  VALUES (3, 103, 5, 'Plain', 'O''Neil', 'SEL-C', 'なし', '1', 1, '');
INSERT INTO paper_infos (id, paperInfoId, category_id, goods, searchSelNo, paperSizeInfo_id)
  VALUES (4, 104, 7, 'Orphan', 'SEL-D', 1), (5, 105, 1, 'Orphan', 'SEL-E', 99);
INSERT INTO paper_infos (id, paperInfoId, category_id, searchSelNo, goodsDisplayLabel,
  paperSizeInfo_id) VALUES (6, 106, '', 'SEL-0', 'Zeta', 1);
INSERT INTO paper_infos (id, paperInfoId, category_id, goods, goodsPartsNo, searchNo, searchSelNo,
  goodsBackFront, goodsAllEdit, paperFieldsNo, paperFieldsHNo, paperFieldsWNo, partsUrl,
  paperSizeInfo_id, jan_code)
  VALUES (7, 107, 1, 'Second', 'GP-1', 'S2', 'SEL-B2', '裏', '個別', 2, 1, 2, 'u7', 1, 'J7');
INSERT INTO paper_infos (id, paperInfoId, category_id, searchSelNo, paperSizeInfo_id)
  VALUES (8, 108, 5, 'SEL-F', 1);
)sql";

// One product of the catalogue above as the answers show it: a value left out
// leaves its line out (the category, the location type and the jan code lines
// are always there). The list entry shows every line; the detail shows the
// head lines once, from the first row, and the rest in one part block per row.
using Value = std::optional<std::string>;
struct Product {
  std::string pno;
  std::string category;
  // The detail's head lines.
  Value name{}, partNumber{}, searchNumber{};
  Value searchPart{}, backFront{}, allEdit{}, displayLabel{}, thumb{}, thumb2{}, fileName{},
      pictLabel{}, pictCut{}, pictBending{}, design1{}, design2{}, mask{}, type{}, label{},
      drawSize{}, sizeName{}, sizeH{}, sizeW{}, fields{}, fieldsH{}, fieldsW{}, pieceH{},
      pieceW{}, spaceU{}, spaceD{}, spaceL{}, spaceR{}, spaceUD{}, spaceLR{}, partsUrl{};
  std::string janCode{};
};

const Product k101{.pno = "101", .category = "1", .name = "ラベル&<A>", .partNumber = "GP-1",
                   .searchNumber = "S1", .searchPart = "SEL-B", .backFront = "表",
                   .allEdit = "全体", .displayLabel = "DL1", .thumb = "t1.png",
                   .thumb2 = "t2.png", .fileName = "/svg/f1.svg", .pictLabel = "pl",
                   .pictCut = "pc", .pictBending = "pb", .design1 = "d1", .design2 = "d2",
                   .mask = "m1", .type = "T", .label = "L", .drawSize = "3", .sizeName = "A4",
                   .sizeH = "297.0", .sizeW = "210.0", .fields = "12", .fieldsH = "4",
                   .fieldsW = "3", .pieceH = "20.5", .pieceW = "30.25", .spaceU = "1.5",
                   .spaceD = "2.0", .spaceL = "0.0", .spaceR = "3.5", .spaceUD = "4.0",
                   .spaceLR = "5.5", .partsUrl = "http://x/p.svg", .janCode = "4901234567890"};
const Product k102{.pno = "102", .category = "13", .searchPart = "SEL-A", .type = "13",
                   .sizeName = "はがき", .sizeH = "148.0", .sizeW = "100.5"};
const Product k103{.pno = "103", .category = "5", .name = "Plain", .searchNumber = "O'Neil",
                   .searchPart = "SEL-C", .backFront = "なし", .type = "1", .sizeName = "A4",
                   .sizeH = "297.0", .sizeW = "210.0"};
const Product k106{.pno = "106", .category = "", .searchPart = "SEL-0", .displayLabel = "Zeta",
                   .sizeName = "A4", .sizeH = "297.0", .sizeW = "210.0"};
const Product k107{.pno = "107", .category = "1", .name = "Second", .partNumber = "GP-1",
                   .searchNumber = "S2", .searchPart = "SEL-B2", .backFront = "裏",
                   .allEdit = "個別", .sizeName = "A4", .sizeH = "297.0", .sizeW = "210.0",
                   .fields = "2", .fieldsH = "1", .fieldsW = "2", .partsUrl = "u7",
                   .janCode = "J7"};
const Product k108{.pno = "108", .category = "5", .searchPart = "SEL-F", .sizeName = "A4",
                   .sizeH = "297.0", .sizeW = "210.0"};

void AddLine(std::string& out, std::string_view element, const Value& value) {
  if (value) {
    out.append("    <").append(element).append(">").append(*value);
    out.append("</").append(element).append(">\n");
  }
}

// The lines from the searched part number on, as the list entry (`detail`
// false) or a detail part block writes them.
std::string PartLines(const Product& p, bool detail) {
  std::string out;
  AddLine(out, "PAPER_GOODS_SEARCH_PART_NUMBER", p.searchPart);
  AddLine(out, "PAPER_GOODS_BACK_FRONT", p.backFront);
  AddLine(out, "PAPER_GOODS_ALL_EDIT", p.allEdit);
  AddLine(out, "PAPER_GOODS_DISPLAY_PART_NUMBER", p.displayLabel);
  AddLine(out, "PAPER_GOODS_THUMB", p.thumb);
  AddLine(out, "PAPER_GOODS_THUMB2", p.thumb2);
  AddLine(out, "PAPER_GOODS_FILE_NAME", p.fileName);
  AddLine(out, "PAPER_GOODS_PICT_LABEL", p.pictLabel);
  AddLine(out, "PAPER_GOODS_PICT_CUT", p.pictCut);
  AddLine(out, "PAPER_GOODS_PICT_BENDING", p.pictBending);
  AddLine(out, "PAPER_GOODS_PICT_DESIGN1", p.design1);
  AddLine(out, "PAPER_GOODS_PICT_DESIGN2", p.design2);
  AddLine(out, "PAPER_GOODS_MASK", p.mask);
  AddLine(out, "PAPER_GOODS_TYPE", p.type);
  AddLine(out, "PAPER_GOODS_LABEL", p.label);
  AddLine(out, "PAPER_GOODS_DRAW_SIZE", p.drawSize);
  AddLine(out, "PAPER_GOODS_PARTS_SIZE", p.sizeName);
  AddLine(out, "PAPER_GOODS_PARTS_H", p.sizeH);
  AddLine(out, "PAPER_GOODS_PARTS_W", p.sizeW);
  if (!detail) {
    AddLine(out, "PAPER_GOODS_NUMBER", p.fields);
  }
  AddLine(out, "PAPER_GOODS_PARTS_FIELDS", p.fields);
  AddLine(out, "PAPER_GOODS_LOCATION_TYPE", "");
  // The detail's element names have a doubled "_" here.
  AddLine(out, detail ? "PAPER_GOODS_PARTS__FIELDS_H_NUMBER" : "PAPER_GOODS_PARTS_FIELDS_H_NUMBER",
          p.fieldsH);
  AddLine(out, detail ? "PAPER_GOODS_PARTS__FIELDS_W_NUMBER" : "PAPER_GOODS_PARTS_FIELDS_W_NUMBER",
          p.fieldsW);
  AddLine(out, "PAPER_GOODS_PARTS_ONE_PIECE_H", p.pieceH);
  AddLine(out, "PAPER_GOODS_PARTS_ONE_PIECE_W", p.pieceW);
  AddLine(out, "PAPER_GOODS_PARTS_UNFILLED_SPACE_UP", p.spaceU);
  AddLine(out, "PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN", p.spaceD);
  AddLine(out, "PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT", p.spaceL);
  AddLine(out, "PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT", p.spaceR);
  AddLine(out, "PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN", p.spaceUD);
  AddLine(out, "PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH", p.spaceLR);
  // The detail always leaves the parts URL empty.
  AddLine(out, "PAPER_GOODS_PARTS_URL", detail ? Value("") : p.partsUrl);
  AddLine(out, "PAPER_GOODS_JAN_CODE", p.janCode);
  return out;
}

std::string HeadLines(const Product& p) {
  std::string out;
  AddLine(out, "PAPER_GOODS_NAME", p.name);
  AddLine(out, "PAPER_GOODS_PART_NUMBER", p.partNumber);
  AddLine(out, "PAPER_GOODS_SEARCH_NUMBER", p.searchNumber);
  return out;
}

std::string ListEntry(const Product& p) {
  std::string out = "  <PAPER_GOODS>\n";
  AddLine(out, "PAPER_GOODS_PNO", p.pno);
  AddLine(out, "PAPER_GOODS_CATEGORY", p.category);
  return out + HeadLines(p) + PartLines(p, false) + "  </PAPER_GOODS>\n";
}

std::string DetailPart(const Product& p) {
  return "  <PAPER_GOODS_PARTS>\n" + PartLines(p, true) + "  </PAPER_GOODS_PARTS>\n";
}

// The list entries of the products above.
const std::string kList101 = ListEntry(k101);
const std::string kList102 = ListEntry(k102);
const std::string kList103 = ListEntry(k103);
const std::string kList106 = ListEntry(k106);
const std::string kList107 = ListEntry(k107);
const std::string kList108 = ListEntry(k108);

// Head lines and part blocks of the detail answers.
const std::string kHead101 = HeadLines(k101);
const std::string kPart101 = DetailPart(k101);
const std::string kHead103 = HeadLines(k103);
const std::string kPart103 = DetailPart(k103);
const std::string kHead107 = HeadLines(k107);
const std::string kPart107 = DetailPart(k107);

std::string ListOf(const std::string& entries) {
  return "<PAPER_INFO>\n" + entries + "</PAPER_INFO>\n";
}

std::string DetailOf(const std::string& lines, int count) {
  return "<PAPER_INFO>\n  <PAPER_GOODS>\n" + lines + "    <PAPER_GOODS_NUMBER>" +
         std::to_string(count) + "</PAPER_GOODS_NUMBER>\n  </PAPER_GOODS>\n</PAPER_INFO>\n";
}

const std::string kEmptyList = ListOf("");

class PaperInfosTest : public qbtest::CatalogueFixture {
 protected:
  void SetUp() override {
    CatalogueFixture::SetUp();
    Exec(kCatalogue);
  }
};

TEST_F(PaperInfosTest, SelectColumnsIsOneLineOfFixedPieces) {
  const std::string& sql = PaperInfos::SelectColumns();
  EXPECT_EQ(sql.rfind("SELECT  paperInfoId,        mc.name as category,        category_id,", 0),
            0u);
  EXPECT_NE(sql.find("        paperUnfiliedSpaceLR,        partsUrl,        jan_code  from "
                     "paper_infos mpi  inner join categories mc     on mpi.category_id = "
                     "mc.categoryId  inner join paper_size_infos psize     on "
                     "mpi.paperSizeInfo_id = psize.paperSizeId "),
            std::string::npos);
  EXPECT_EQ(sql.back(), ' ');
}

TEST_F(PaperInfosTest, SearchAnswers) {
  struct Row {
    const char* name;
    std::string path;
    std::string answer;
  };
  const Row rows[] = {
      {"value 1 also admits 13, ordered by searchSelNo", "/dbAccess/SEARCH@category_id=1",
       ListOf(kList102 + kList101 + kList107)},
      {"category 99 is every category but the empty one", "/dbAccess/SEARCH@category_id=99",
       ListOf(kList102 + kList101 + kList107 + kList103 + kList108)},
      {"any key with value 1 admits 13", "/dbAccess/SEARCH@goodsType=1",
       ListOf(kList102 + kList103)},
      {"keyword ignores ASCII case", "/dbAccess/SEARCH@usage=sel-b", ListOf(kList101 + kList107)},
      {"keyword key contains usage, Japanese value", "/dbAccess/SEARCH@xusagex=ラベル",
       ListOf(kList101)},
      {"empty keyword matches every product", "/dbAccess/SEARCH@usage=",
       ListOf(kList106 + kList102 + kList101 + kList107 + kList103 + kList108)},
      {"pairs are joined with AND", "/dbAccess/SEARCH@category_id=5&goodsType=1",
       ListOf(kList103)},
      {"a value holding a quote finds its row", "/dbAccess/SEARCH@searchNo=O'Neil",
       ListOf(kList103)},
      {"keyword holding a quote", "/dbAccess/SEARCH@usage='Nei", ListOf(kList103)},
      {"no category row: never answered", "/dbAccess/SEARCH@category_id=7", kEmptyList},
      {"only the piece after the first @ counts", "/dbAccess/SEARCH@category_id=5@x=y",
       ListOf(kList103 + kList108)},
      {"a key that is no column", "/dbAccess/SEARCH@nocolumn=2", kEmptyList},
      {"a key that is no identifier", "/dbAccess/SEARCH@1 OR 1=2", kEmptyList},
      {"a qualified key", "/dbAccess/SEARCH@mpi.category_id=5", kEmptyList},
      {"an expression key with value 1", "/dbAccess/SEARCH@category_id OR 1=1", kEmptyList},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(qbtest::SearchAt(row.path), row.answer);
  }
}

TEST_F(PaperInfosTest, DetailAnswers) {
  struct Row {
    const char* name;
    std::string path;
    std::string answer;
  };
  const Row rows[] = {
      {"head from the first row, one block per row",
       "/dbAccess/DETAIL@goodsPartsNo=GP-1", DetailOf(kHead101 + kPart101 + kPart107, 2)},
      {"back is compared as 裏", "/dbAccess/DETAIL@goodsPartsNo=GP-1&goodsBackFront=back",
       DetailOf(kHead107 + kPart107, 1)},
      {"front is compared as 表", "/dbAccess/DETAIL@goodsBackFront=front",
       DetailOf(kHead101 + kPart101, 1)},
      {"any other side is なし", "/dbAccess/DETAIL@goodsBackFront=other",
       DetailOf(kHead103 + kPart103, 1)},
      {"all is 全体", "/dbAccess/DETAIL@goodsAllEdit=all", DetailOf(kHead101 + kPart101, 1)},
      {"part is 個別", "/dbAccess/DETAIL@goodsAllEdit=part", DetailOf(kHead107 + kPart107, 1)},
      {"other values unchanged", "/dbAccess/DETAIL@searchSelNo=SEL-C",
       DetailOf(kHead103 + kPart103, 1)},
      {"no rows", "/dbAccess/DETAIL@goodsPartsNo=none", DetailOf("", 0)},
      {"a key that is no identifier", "/dbAccess/DETAIL@1=1 OR goods", DetailOf("", 0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(qbtest::DetailAt(row.path), row.answer);
  }
}

TEST_F(PaperInfosTest, RecentAnswers) {
  // Six products used on this machine one after the other, then one on
  // another machine; SEL-D has no category row.
  for (const char* used : {"SEL-F&t=2024-01-01 00:00:01", "SEL-A&t=2024-01-01 00:00:02",
                           "SEL-B&t=2024-01-01 00:00:03", "SEL-C&t=2024-01-01 00:00:04",
                           "SEL-0&t=2024-01-01 00:00:05", "SEL-B2&t=2024-01-01 00:00:06"}) {
    ASSERT_TRUE(qbtest::LogUsageAt(std::string("p=") + used));
  }
  Exec("INSERT INTO logs (mac_address, event_type, event_contents3, create_at) VALUES "
       "('XX-OTHER', 3, 'SEL-A', '2024-02-01 00:00:00'),"
       "('" + GetMacAddress() + "', 1, 'SEL-F', '2024-02-01 00:00:00')");
  const std::string mine = ListOf(kList107 + kList106 + kList103 + kList101 + kList102);
  struct Row {
    const char* name;
    std::string path;
    std::string answer;
  };
  const Row rows[] = {
      {"five newest first", "/dbAccess/RECENT@mac_address=ignored", mine},
      {"the identity pair needs no value", "/dbAccess/RECENT@mac_address", mine},
      {"filters apply to the five", "/dbAccess/RECENT@mac_address=x&category_id=1",
       ListOf(kList107 + kList101)},
      {"keyword without searchSelNo", "/dbAccess/RECENT@usage=second&mac_address=x",
       ListOf(kList107)},
      {"keyword does not search searchSelNo", "/dbAccess/RECENT@mac_address=x&usage=SEL-",
       kEmptyList},
      // Without the pair the log is compared with the empty identity.
      {"no identity pair", "/dbAccess/RECENT@category_id=1",
       GetMacAddress().empty() ? ListOf(kList107 + kList101) : kEmptyList},
      {"a key that is no identifier", "/dbAccess/RECENT@mac_address=x&1 OR 1=1", kEmptyList},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(qbtest::RecentAt(row.path), row.answer);
  }
}

TEST_F(PaperInfosTest, RecentAddsAMissingJanCodeColumn) {
  Exec("DROP TABLE paper_infos;"
       "CREATE TABLE paper_infos (id INTEGER PRIMARY KEY, paperInfoId INTEGER, category_id "
       "INTEGER, goods TEXT, goodsPartsNo TEXT, searchNo TEXT, searchSelNo TEXT, goodsBackFront "
       "TEXT, goodsAllEdit TEXT, goodsDisplayLabel TEXT, goodsThumbName TEXT, goodsThumbName2 "
       "TEXT, goodsPictFileName TEXT, goodsPictPartsLabel TEXT, goodsPictPartsCut TEXT, "
       "goodsPictPartsBending TEXT, goodsPictPartsDesign1 TEXT, goodsPictPartsDesign2 TEXT, "
       "goodsPictMask TEXT, goodsType TEXT, goodsLabel TEXT, goodsDrawSize INTEGER, "
       "paperSizeInfo_id INTEGER, templateInfo_id INTEGER, paperFieldsNo INTEGER, "
       "paperLocationType INTEGER, paperFieldsHNo INTEGER, paperFieldsWNo INTEGER, "
       "paperOnePieceH REAL, paperOnePieceW REAL, paperUnfiliedSpaceU REAL, paperUnfiliedSpaceD "
       "REAL, paperUnfiliedSpaceL REAL, paperUnfiliedSpaceR REAL, paperUnfiliedSpaceUD REAL, "
       "paperUnfiliedSpaceLR REAL, partsUrl TEXT, create_at TEXT, update_at TEXT);"
       "INSERT INTO paper_infos (id, paperInfoId, category_id, searchSelNo, paperSizeInfo_id) "
       "VALUES (8, 108, 5, 'SEL-F', 1)");
  ASSERT_TRUE(Logs().InsertLog("SEL-F", "2024-01-01 00:00:00"));
  // The search cannot run without the column; the recent list adds it first.
  EXPECT_EQ(qbtest::SearchAt("/dbAccess/SEARCH@category_id=5"), kEmptyList);
  EXPECT_EQ(qbtest::RecentAt("/dbAccess/RECENT@mac_address"), ListOf(kList108));
  EXPECT_EQ(qbtest::SearchAt("/dbAccess/SEARCH@category_id=5"), ListOf(kList108));
}

TEST_F(PaperInfosTest, MalformedArgumentTextsAreNotAnswered) {
  const char* paths[] = {
      "/dbAccess/SEARCH", "/dbAccess/SEARCH@", "/dbAccess/SEARCH@category_id=1&",
      "/dbAccess/SEARCH@category_id=1&&goodsType=1", "/dbAccess/SEARCH@usage",
      "/dbAccess/DETAIL", "/dbAccess/DETAIL@goodsPartsNo", "/dbAccess/RECENT",
      "/dbAccess/RECENT@mac_address&category_id",
  };
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    const std::string text(path);
    if (text.find("SEARCH") != std::string::npos) {
      EXPECT_EQ(qbtest::SearchAt(text), std::nullopt);
    } else if (text.find("DETAIL") != std::string::npos) {
      EXPECT_EQ(qbtest::DetailAt(text), std::nullopt);
    } else {
      EXPECT_EQ(qbtest::RecentAt(text), std::nullopt);
    }
  }
  EXPECT_EQ(qbtest::DrawingAt("/dbAccess/SVG_DATA"), std::nullopt);
}

TEST_F(PaperInfosTest, WithoutADatabaseOnlyTheDocumentFrame) {
  std::filesystem::remove_all(DataFolder());
  EXPECT_EQ(qbtest::SearchAt("/dbAccess/SEARCH@category_id=1"), kEmptyList);
  EXPECT_EQ(qbtest::DetailAt("/dbAccess/DETAIL@goodsPartsNo=GP-1"), kEmptyList);
  EXPECT_EQ(qbtest::RecentAt("/dbAccess/RECENT@mac_address"), kEmptyList);
}

TEST_F(PaperInfosTest, DrawingFilesStayInTheDataFolder) {
  namespace fs = std::filesystem;
  qbtest::WriteFile(DataFolder() + "/svg/f1.svg", "<svg>\r\n  <g/>\n</svg>\n");
  qbtest::WriteFile(DataFolder() + "/../outside.svg", "secret");
  qbtest::WriteFile(DataFolder() + "/etc/passwd.svg", "inside");
  qbtest::WriteFile(DataFolder() + "/etc/passwd", "inside");
  qbtest::WriteFile(DataFolder() + "/parts/p1.TBL", "table");
  // The server's own files, and files that are no drawings.
  for (const char* name : {"qkprint.db", "qkprint.db-journal", "qkprint.db-wal", "verfile_db.txt",
                           "new_verfile_db.txt", "svg/f2.svg.partial", "tmpl/t1.qx3",
                           "qkprint.db.damaged-2024/a.svg"}) {
    qbtest::WriteFile(DataFolder() + "/" + name, "own");
  }
  fs::create_symlink(DataFolder() + "/../outside.svg", DataFolder() + "/svg/link.svg");
  fs::create_symlink(DataFolder() + "/qkprint.db", DataFolder() + "/svg/db.svg");
  struct Row {
    const char* name;
    std::string path;
    std::string answer;
  };
  const Row rows[] = {
      {"leading slash is the data folder", "/dbAccess/SVG_DATA@/svg/f1.svg", "<svg>  <g/></svg>"},
      {"relative to the data folder", "/dbAccess/SVG_DATA@svg/f1.svg", "<svg>  <g/></svg>"},
      {"backslashes separate too", "/dbAccess/SVG_DATA@\\svg\\f1.svg", "<svg>  <g/></svg>"},
      {"missing file", "/dbAccess/SVG_DATA@/svg/none.svg", ""},
      {"a folder", "/dbAccess/SVG_DATA@/svg", ""},
      {"dot-dot out of the folder", "/dbAccess/SVG_DATA@/../outside.svg", ""},
      {"dot-dot without a slash", "/dbAccess/SVG_DATA@../../x", ""},
      {"absolute name is taken inside", "/dbAccess/SVG_DATA@/etc/passwd.svg", "inside"},
      {"symlink out of the folder", "/dbAccess/SVG_DATA@/svg/link.svg", ""},
      {"a table is a drawing file", "/dbAccess/SVG_DATA@/parts/p1.TBL", "table"},
      {"no drawing file", "/dbAccess/SVG_DATA@/etc/passwd", ""},
      {"the catalogue", "/dbAccess/SVG_DATA@/qkprint.db", ""},
      {"the catalogue in capitals", "/dbAccess/SVG_DATA@/QKPRINT.DB", ""},
      {"its journal", "/dbAccess/SVG_DATA@qkprint.db-journal", ""},
      {"its write-ahead log", "/dbAccess/SVG_DATA@qkprint.db-wal", ""},
      {"the version file", "/dbAccess/SVG_DATA@/verfile_db.txt", ""},
      {"the new version file", "/dbAccess/SVG_DATA@/new_verfile_db.txt", ""},
      {"a file being written", "/dbAccess/SVG_DATA@/svg/f2.svg.partial", ""},
      {"a template", "/dbAccess/SVG_DATA@/tmpl/t1.qx3", ""},
      {"a drawing name in a damaged catalogue's folder",
       "/dbAccess/SVG_DATA@/qkprint.db.damaged-2024/a.svg", ""},
      {"a drawing name linked to the catalogue", "/dbAccess/SVG_DATA@/svg/db.svg", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(qbtest::DrawingAt(row.path), row.answer);
  }
}

}  // namespace
}  // namespace qb
