#include <filesystem>

#include "catalog/CatalogueFixture.h"
#include "catalog/Categories.h"
#include "catalog/PaperSizeInfos.h"

namespace qb {
namespace {

class CatalogueListsTest : public qbtest::CatalogueFixture {};

TEST_F(CatalogueListsTest, Answers) {
  const std::string categories =
      "INSERT INTO categories (id, categoryId, name, thumbnail) VALUES "
      "(1, 1, 'ラベル & <封筒>', 'c1.png'), (2, 13, 'Thirteen', NULL), (7, '', '', 'c7.png'),"
      "(9, NULL, NULL, NULL)";
  const std::string sizes =
      "INSERT INTO paper_size_infos (id, paperSizeId, name, sizeH, sizeW) VALUES "
      "(1, 1, 'A4', 297, 210), (2, 13, 'Hidden', 1, 1), (3, NULL, 'NoId', 2, 2),"
      "(4, 2, 'はがき & <小>', 148, 100.5), (5, 3, NULL, NULL, NULL)";
  struct Row {
    const char* name;
    std::string setup;
    bool sizes;  // the paper-size list, else the category list
    std::string answer;
  };
  const Row rows[] = {
      {"categories", categories, false,
       "<categoryList>\n"
       "  <categoryInfo>\n"
       "    <pno>1</pno>\n"
       "    <category>1</category>\n"
       "    <label>ラベル & <封筒></label>\n"
       "    <thumbnail>c1.png</thumbnail>\n"
       "    <image>c1.png</image>\n"
       "  </categoryInfo>\n"
       "  <categoryInfo>\n"
       "    <pno>2</pno>\n"
       "    <category>13</category>\n"
       "    <label>Thirteen</label>\n"
       "  </categoryInfo>\n"
       "  <categoryInfo>\n"
       "    <pno>7</pno>\n"
       "    <category></category>\n"
       "    <label></label>\n"
       "    <thumbnail>c7.png</thumbnail>\n"
       "    <image>c7.png</image>\n"
       "  </categoryInfo>\n"
       "  <categoryInfo>\n"
       "    <pno>9</pno>\n"
       "  </categoryInfo>\n"
       "</categoryList>\n"},
      {"no categories", "", false, "<categoryList>\n</categoryList>\n"},
      {"no categories table", "DROP TABLE categories", false, "<categoryList>\n</categoryList>\n"},
      {"sizes without 13 and NULL", sizes, true,
       "<paperSize>\n"
       "  <sizeInfo>\n"
       "    <id>1</id>\n"
       "    <name>A4</name>\n"
       "    <sizeH>297.0</sizeH>\n"
       "    <sizeW>210.0</sizeW>\n"
       "  </sizeInfo>\n"
       "  <sizeInfo>\n"
       "    <id>2</id>\n"
       "    <name>はがき & <小></name>\n"
       "    <sizeH>148.0</sizeH>\n"
       "    <sizeW>100.5</sizeW>\n"
       "  </sizeInfo>\n"
       "  <sizeInfo>\n"
       "    <id>3</id>\n"
       "  </sizeInfo>\n"
       "</paperSize>\n"},
      {"no sizes", "", true, "<paperSize>\n</paperSize>\n"},
      {"no sizes table", "DROP TABLE paper_size_infos", true, "<paperSize>\n</paperSize>\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Exec("DROP TABLE IF EXISTS categories; DROP TABLE IF EXISTS paper_size_infos");
    CatalogueSchema definitions;
    definitions.CreateTables();
    if (!row.setup.empty()) Exec(row.setup);
    EXPECT_EQ(row.sizes ? PaperSizeInfos().GetPaperSizeList() : Categories().GetCategoryList(),
              row.answer);
  }
}

TEST_F(CatalogueListsTest, WithoutADatabaseOnlyTheOuterPair) {
  std::filesystem::remove_all(DataFolder());
  EXPECT_EQ(Categories().GetCategoryList(), "<categoryList>\n</categoryList>\n");
  EXPECT_EQ(PaperSizeInfos().GetPaperSizeList(), "<paperSize>\n</paperSize>\n");
}

}  // namespace
}  // namespace qb
