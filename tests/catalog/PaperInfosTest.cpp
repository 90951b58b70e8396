#include "catalog/PaperInfos.h"

#include <filesystem>

#include "catalog/CatalogueFixture.h"
#include "catalog/Logs.h"
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

// The list entries of the products above.
const std::string kList101 =
    "  <PAPER_GOODS>\n"
    "    <PAPER_GOODS_PNO>101</PAPER_GOODS_PNO>\n"
    "    <PAPER_GOODS_CATEGORY>1</PAPER_GOODS_CATEGORY>\n"
    "    <PAPER_GOODS_NAME>ラベル&<A></PAPER_GOODS_NAME>\n"
    "    <PAPER_GOODS_PART_NUMBER>GP-1</PAPER_GOODS_PART_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_NUMBER>S1</PAPER_GOODS_SEARCH_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-B</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_BACK_FRONT>表</PAPER_GOODS_BACK_FRONT>\n"
    "    <PAPER_GOODS_ALL_EDIT>全体</PAPER_GOODS_ALL_EDIT>\n"
    "    <PAPER_GOODS_DISPLAY_PART_NUMBER>DL1</PAPER_GOODS_DISPLAY_PART_NUMBER>\n"
    "    <PAPER_GOODS_THUMB>t1.png</PAPER_GOODS_THUMB>\n"
    "    <PAPER_GOODS_THUMB2>t2.png</PAPER_GOODS_THUMB2>\n"
    "    <PAPER_GOODS_FILE_NAME>/svg/f1.svg</PAPER_GOODS_FILE_NAME>\n"
    "    <PAPER_GOODS_PICT_LABEL>pl</PAPER_GOODS_PICT_LABEL>\n"
    "    <PAPER_GOODS_PICT_CUT>pc</PAPER_GOODS_PICT_CUT>\n"
    "    <PAPER_GOODS_PICT_BENDING>pb</PAPER_GOODS_PICT_BENDING>\n"
    "    <PAPER_GOODS_PICT_DESIGN1>d1</PAPER_GOODS_PICT_DESIGN1>\n"
    "    <PAPER_GOODS_PICT_DESIGN2>d2</PAPER_GOODS_PICT_DESIGN2>\n"
    "    <PAPER_GOODS_MASK>m1</PAPER_GOODS_MASK>\n"
    "    <PAPER_GOODS_TYPE>T</PAPER_GOODS_TYPE>\n"
    "    <PAPER_GOODS_LABEL>L</PAPER_GOODS_LABEL>\n"
    "    <PAPER_GOODS_DRAW_SIZE>3</PAPER_GOODS_DRAW_SIZE>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_NUMBER>12</PAPER_GOODS_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_FIELDS>12</PAPER_GOODS_PARTS_FIELDS>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_PARTS_FIELDS_H_NUMBER>4</PAPER_GOODS_PARTS_FIELDS_H_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_FIELDS_W_NUMBER>3</PAPER_GOODS_PARTS_FIELDS_W_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_ONE_PIECE_H>20.5</PAPER_GOODS_PARTS_ONE_PIECE_H>\n"
    "    <PAPER_GOODS_PARTS_ONE_PIECE_W>30.25</PAPER_GOODS_PARTS_ONE_PIECE_W>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_UP>1.5</PAPER_GOODS_PARTS_UNFILLED_SPACE_UP>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN>2.0</PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT>0.0</PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT>3.5</PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN>4.0</PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH>5.5</PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH>\n"
    "    <PAPER_GOODS_PARTS_URL>http://x/p.svg</PAPER_GOODS_PARTS_URL>\n"
    "    <PAPER_GOODS_JAN_CODE>4901234567890</PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS>\n";
const std::string kList102 =
    "  <PAPER_GOODS>\n"
    "    <PAPER_GOODS_PNO>102</PAPER_GOODS_PNO>\n"
    "    <PAPER_GOODS_CATEGORY>13</PAPER_GOODS_CATEGORY>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-A</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_TYPE>13</PAPER_GOODS_TYPE>\n"
    "    <PAPER_GOODS_PARTS_SIZE>はがき</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>148.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>100.5</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS>\n";
const std::string kList103 =
    "  <PAPER_GOODS>\n"
    "    <PAPER_GOODS_PNO>103</PAPER_GOODS_PNO>\n"
    "    <PAPER_GOODS_CATEGORY>5</PAPER_GOODS_CATEGORY>\n"
    "    <PAPER_GOODS_NAME>Plain</PAPER_GOODS_NAME>\n"
    "    <PAPER_GOODS_SEARCH_NUMBER>O'Neil</PAPER_GOODS_SEARCH_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-C</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_BACK_FRONT>なし</PAPER_GOODS_BACK_FRONT>\n"
    "    <PAPER_GOODS_TYPE>1</PAPER_GOODS_TYPE>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS>\n";
const std::string kList106 =
    "  <PAPER_GOODS>\n"
    "    <PAPER_GOODS_PNO>106</PAPER_GOODS_PNO>\n"
    "    <PAPER_GOODS_CATEGORY></PAPER_GOODS_CATEGORY>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-0</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_DISPLAY_PART_NUMBER>Zeta</PAPER_GOODS_DISPLAY_PART_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS>\n";
const std::string kList107 =
    "  <PAPER_GOODS>\n"
    "    <PAPER_GOODS_PNO>107</PAPER_GOODS_PNO>\n"
    "    <PAPER_GOODS_CATEGORY>1</PAPER_GOODS_CATEGORY>\n"
    "    <PAPER_GOODS_NAME>Second</PAPER_GOODS_NAME>\n"
    "    <PAPER_GOODS_PART_NUMBER>GP-1</PAPER_GOODS_PART_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_NUMBER>S2</PAPER_GOODS_SEARCH_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-B2</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_BACK_FRONT>裏</PAPER_GOODS_BACK_FRONT>\n"
    "    <PAPER_GOODS_ALL_EDIT>個別</PAPER_GOODS_ALL_EDIT>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_NUMBER>2</PAPER_GOODS_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_FIELDS>2</PAPER_GOODS_PARTS_FIELDS>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_PARTS_FIELDS_H_NUMBER>1</PAPER_GOODS_PARTS_FIELDS_H_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_FIELDS_W_NUMBER>2</PAPER_GOODS_PARTS_FIELDS_W_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_URL>u7</PAPER_GOODS_PARTS_URL>\n"
    "    <PAPER_GOODS_JAN_CODE>J7</PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS>\n";
const std::string kList108 =
    "  <PAPER_GOODS>\n"
    "    <PAPER_GOODS_PNO>108</PAPER_GOODS_PNO>\n"
    "    <PAPER_GOODS_CATEGORY>5</PAPER_GOODS_CATEGORY>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-F</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS>\n";

// Head lines and part blocks of the detail answers.
const std::string kHead101 =
    "    <PAPER_GOODS_NAME>ラベル&<A></PAPER_GOODS_NAME>\n"
    "    <PAPER_GOODS_PART_NUMBER>GP-1</PAPER_GOODS_PART_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_NUMBER>S1</PAPER_GOODS_SEARCH_NUMBER>\n";
const std::string kPart101 =
    "  <PAPER_GOODS_PARTS>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-B</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_BACK_FRONT>表</PAPER_GOODS_BACK_FRONT>\n"
    "    <PAPER_GOODS_ALL_EDIT>全体</PAPER_GOODS_ALL_EDIT>\n"
    "    <PAPER_GOODS_DISPLAY_PART_NUMBER>DL1</PAPER_GOODS_DISPLAY_PART_NUMBER>\n"
    "    <PAPER_GOODS_THUMB>t1.png</PAPER_GOODS_THUMB>\n"
    "    <PAPER_GOODS_THUMB2>t2.png</PAPER_GOODS_THUMB2>\n"
    "    <PAPER_GOODS_FILE_NAME>/svg/f1.svg</PAPER_GOODS_FILE_NAME>\n"
    "    <PAPER_GOODS_PICT_LABEL>pl</PAPER_GOODS_PICT_LABEL>\n"
    "    <PAPER_GOODS_PICT_CUT>pc</PAPER_GOODS_PICT_CUT>\n"
    "    <PAPER_GOODS_PICT_BENDING>pb</PAPER_GOODS_PICT_BENDING>\n"
    "    <PAPER_GOODS_PICT_DESIGN1>d1</PAPER_GOODS_PICT_DESIGN1>\n"
    "    <PAPER_GOODS_PICT_DESIGN2>d2</PAPER_GOODS_PICT_DESIGN2>\n"
    "    <PAPER_GOODS_MASK>m1</PAPER_GOODS_MASK>\n"
    "    <PAPER_GOODS_TYPE>T</PAPER_GOODS_TYPE>\n"
    "    <PAPER_GOODS_LABEL>L</PAPER_GOODS_LABEL>\n"
    "    <PAPER_GOODS_DRAW_SIZE>3</PAPER_GOODS_DRAW_SIZE>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_PARTS_FIELDS>12</PAPER_GOODS_PARTS_FIELDS>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_PARTS__FIELDS_H_NUMBER>4</PAPER_GOODS_PARTS__FIELDS_H_NUMBER>\n"
    "    <PAPER_GOODS_PARTS__FIELDS_W_NUMBER>3</PAPER_GOODS_PARTS__FIELDS_W_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_ONE_PIECE_H>20.5</PAPER_GOODS_PARTS_ONE_PIECE_H>\n"
    "    <PAPER_GOODS_PARTS_ONE_PIECE_W>30.25</PAPER_GOODS_PARTS_ONE_PIECE_W>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_UP>1.5</PAPER_GOODS_PARTS_UNFILLED_SPACE_UP>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN>2.0</PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT>0.0</PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT>3.5</PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN>4.0</PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN>\n"
    "    <PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH>5.5</PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH>\n"
    "    <PAPER_GOODS_PARTS_URL></PAPER_GOODS_PARTS_URL>\n"
    "    <PAPER_GOODS_JAN_CODE>4901234567890</PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS_PARTS>\n";
const std::string kHead103 =
    "    <PAPER_GOODS_NAME>Plain</PAPER_GOODS_NAME>\n"
    "    <PAPER_GOODS_SEARCH_NUMBER>O'Neil</PAPER_GOODS_SEARCH_NUMBER>\n";
const std::string kPart103 =
    "  <PAPER_GOODS_PARTS>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-C</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_BACK_FRONT>なし</PAPER_GOODS_BACK_FRONT>\n"
    "    <PAPER_GOODS_TYPE>1</PAPER_GOODS_TYPE>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_PARTS_URL></PAPER_GOODS_PARTS_URL>\n"
    "    <PAPER_GOODS_JAN_CODE></PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS_PARTS>\n";
const std::string kHead107 =
    "    <PAPER_GOODS_NAME>Second</PAPER_GOODS_NAME>\n"
    "    <PAPER_GOODS_PART_NUMBER>GP-1</PAPER_GOODS_PART_NUMBER>\n"
    "    <PAPER_GOODS_SEARCH_NUMBER>S2</PAPER_GOODS_SEARCH_NUMBER>\n";
const std::string kPart107 =
    "  <PAPER_GOODS_PARTS>\n"
    "    <PAPER_GOODS_SEARCH_PART_NUMBER>SEL-B2</PAPER_GOODS_SEARCH_PART_NUMBER>\n"
    "    <PAPER_GOODS_BACK_FRONT>裏</PAPER_GOODS_BACK_FRONT>\n"
    "    <PAPER_GOODS_ALL_EDIT>個別</PAPER_GOODS_ALL_EDIT>\n"
    "    <PAPER_GOODS_PARTS_SIZE>A4</PAPER_GOODS_PARTS_SIZE>\n"
    "    <PAPER_GOODS_PARTS_H>297.0</PAPER_GOODS_PARTS_H>\n"
    "    <PAPER_GOODS_PARTS_W>210.0</PAPER_GOODS_PARTS_W>\n"
    "    <PAPER_GOODS_PARTS_FIELDS>2</PAPER_GOODS_PARTS_FIELDS>\n"
    "    <PAPER_GOODS_LOCATION_TYPE></PAPER_GOODS_LOCATION_TYPE>\n"
    "    <PAPER_GOODS_PARTS__FIELDS_H_NUMBER>1</PAPER_GOODS_PARTS__FIELDS_H_NUMBER>\n"
    "    <PAPER_GOODS_PARTS__FIELDS_W_NUMBER>2</PAPER_GOODS_PARTS__FIELDS_W_NUMBER>\n"
    "    <PAPER_GOODS_PARTS_URL></PAPER_GOODS_PARTS_URL>\n"
    "    <PAPER_GOODS_JAN_CODE>J7</PAPER_GOODS_JAN_CODE>\n"
    "  </PAPER_GOODS_PARTS>\n";

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
    EXPECT_EQ(PaperInfos().GetSearchList(row.path), row.answer);
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
    EXPECT_EQ(PaperInfos().GetDetail(row.path), row.answer);
  }
}

TEST_F(PaperInfosTest, RecentAnswers) {
  // Six products used on this machine one after the other, then one on
  // another machine; SEL-D has no category row.
  for (const char* used : {"SEL-F&t=2024-01-01 00:00:01", "SEL-A&t=2024-01-01 00:00:02",
                           "SEL-B&t=2024-01-01 00:00:03", "SEL-C&t=2024-01-01 00:00:04",
                           "SEL-0&t=2024-01-01 00:00:05", "SEL-B2&t=2024-01-01 00:00:06"}) {
    ASSERT_TRUE(Logs().InsertLog(std::string("p=") + used));
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
    EXPECT_EQ(PaperInfos().GetRecentList(row.path), row.answer);
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
  ASSERT_TRUE(Logs().InsertLog("p=SEL-F&t=2024-01-01 00:00:00"));
  // The search cannot run without the column; the recent list adds it first.
  EXPECT_EQ(PaperInfos().GetSearchList("/dbAccess/SEARCH@category_id=5"), kEmptyList);
  EXPECT_EQ(PaperInfos().GetRecentList("/dbAccess/RECENT@mac_address"), ListOf(kList108));
  EXPECT_EQ(PaperInfos().GetSearchList("/dbAccess/SEARCH@category_id=5"), ListOf(kList108));
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
      EXPECT_EQ(PaperInfos().GetSearchList(text), std::nullopt);
    } else if (text.find("DETAIL") != std::string::npos) {
      EXPECT_EQ(PaperInfos().GetDetail(text), std::nullopt);
    } else {
      EXPECT_EQ(PaperInfos().GetRecentList(text), std::nullopt);
    }
  }
  EXPECT_EQ(PaperInfos().GetSvgData("/dbAccess/SVG_DATA"), std::nullopt);
}

TEST_F(PaperInfosTest, WithoutADatabaseOnlyTheDocumentFrame) {
  std::filesystem::remove_all(DataFolder());
  EXPECT_EQ(PaperInfos().GetSearchList("/dbAccess/SEARCH@category_id=1"), kEmptyList);
  EXPECT_EQ(PaperInfos().GetDetail("/dbAccess/DETAIL@goodsPartsNo=GP-1"), kEmptyList);
  EXPECT_EQ(PaperInfos().GetRecentList("/dbAccess/RECENT@mac_address"), kEmptyList);
}

TEST_F(PaperInfosTest, DrawingFilesStayInTheDataFolder) {
  namespace fs = std::filesystem;
  qbtest::WriteFile(DataFolder() + "/svg/f1.svg", "<svg>\r\n  <g/>\n</svg>\n");
  qbtest::WriteFile(DataFolder() + "/../outside.svg", "secret");
  qbtest::WriteFile(DataFolder() + "/etc/passwd", "inside");
  fs::create_symlink(DataFolder() + "/../outside.svg", DataFolder() + "/svg/link.svg");
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
      {"absolute name is taken inside", "/dbAccess/SVG_DATA@/etc/passwd", "inside"},
      {"symlink out of the folder", "/dbAccess/SVG_DATA@/svg/link.svg", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PaperInfos().GetSvgData(row.path), row.answer);
  }
}

}  // namespace
}  // namespace qb
