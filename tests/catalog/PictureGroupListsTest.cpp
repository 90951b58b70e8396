// Answers of the picture group lists: "dbAccess/TOP_GROUP", "dbAccess/SUB_GROUP"
// and "dbAccess/GENERIC_GROUP" with a list selector.
#include <optional>
#include <string>

#include "catalog/PictureCatalogue.h"
#include "server/PictureRoutes.h"

namespace qb {
namespace {

class PictureGroupListsTest : public qbtest::PictureCatalogue {};

struct Row {
  const char* name;
  std::string argument;
  std::optional<std::string> answer;  // nullopt: malformed, the server error
};

const std::string kAnimals =
    "  <topLevelInfo>\n    <pno>1</pno>\n    <topLevelId>1</topLevelId>\n"
    "    <name>Animals</name>\n    <folder>animal\\dog</folder>\n</topLevelInfo>\n";
std::string Flower(int number) {
  return "  <topLevelInfo>\n    <pno>" + std::to_string(number) +
         "</pno>\n    <topLevelId>2</topLevelId>\n"
         "    <name>花 & <葉></name>\n    <folder>flower</folder>\n"
         "    <thumbnail>/t/2.png</thumbnail>\n    <thumbnailH>/t/2h.png</thumbnailH>\n"
         "    <thumbnailP>/t/2p.png</thumbnailP>\n    <thumbnailS>/t/2s.png</thumbnailS>\n"
         "</topLevelInfo>\n";
}
const std::string kGroupThree =
    "  <topLevelInfo>\n    <pno>2</pno>\n    <topLevelId>3</topLevelId>\n"
    "    <thumbnail>/t/3.png</thumbnail>\n    <thumbnailS>/t/3s.png</thumbnailS>\n"
    "</topLevelInfo>\n";
std::string TopLevel(const std::string& records) {
  return "<pictGroupTopLevelInfos>\n" + records + "</pictGroupTopLevelInfos>\n";
}

TEST_F(PictureGroupListsTest, TopLevelGroupsOfAProduct) {
  const Row rows[] = {
      {"selection number: groups of every part, each once, by topLevelId", "list&selNo=SEL-1",
       TopLevel(kAnimals + Flower(2))},
      {"selection number that is also a part number", "list&x=SEL-2",
       TopLevel(Flower(1) + kGroupThree)},
      {"part number itself", "list&x=P-300", TopLevel(kAnimals)},
      {"apostrophe in the value finds its product", "list&x=O'Q", TopLevel(kAnimals)},
      {"kind other than 3 does not relate", "list&x=NONE", TopLevel("")},
      {"selector only needs to contain list", "pictlist2&x=P-300", TopLevel(kAnimals)},
      {"pair without =", "list&SEL-1", std::nullopt},
      {"no second piece", "list", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ServeTopGroup(row.argument), row.answer);
  }
}

TEST_F(PictureGroupListsTest, SubLevelGroupsOfAClientCondition) {
  const std::string topThree =
      "<pictGroupSubLevelInfos>\n"
      "  <subLevelInfo>\n    <pno>1</pno>\n    <topLevelId>3</topLevelId>\n"
      "    <subLevelId>1</subLevelId>\n    <name>あ</name>\n</subLevelInfo>\n"
      "  <subLevelInfo>\n    <pno>2</pno>\n    <topLevelId>3</topLevelId>\n"
      "    <subLevelId>2</subLevelId>\n    <name>B</name>\n    <folder>sub/b</folder>\n"
      "</subLevelInfo>\n"
      "  <subLevelInfo>\n    <pno>3</pno>\n    <topLevelId>3</topLevelId>\n"
      "    <subLevelId>3</subLevelId>\n    <name>C</name>\n    <folder>flower</folder>\n"
      "</subLevelInfo>\n"
      "</pictGroupSubLevelInfos>\n";
  const std::string empty = "<pictGroupSubLevelInfos>\n</pictGroupSubLevelInfos>\n";
  const Row rows[] = {
      {"comparison with a number, ordered by sub-level", "list&topLevelId = 3", topThree},
      {"NULL name writes no line", "list&topLevelId IN (1)",
       "<pictGroupSubLevelInfos>\n  <subLevelInfo>\n    <pno>1</pno>\n"
       "    <topLevelId>1</topLevelId>\n    <subLevelId>1</subLevelId>\n"
       "    <folder>sub/c</folder>\n</subLevelInfo>\n</pictGroupSubLevelInfos>\n"},
      {"reading another table is refused",
       "list&1=1 UNION SELECT mac_address, event_type, event_contents1, id FROM logs", empty},
      {"a subquery on the schema is refused",
       "list&topLevelId < (SELECT count(*) FROM sqlite_master)", empty},
      {"a second statement is refused", "list&topLevelId = 3; DELETE FROM logs", empty},
      {"empty condition", "list&", empty},
      {"pieces after the condition are ignored", "list&topLevelId = 3&x", topThree},
      {"no second piece", "list", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ServeSubGroup(row.argument), row.answer);
  }
}

const std::string kSeason =
    "    <level>0</level>\n    <slevel>1</slevel>\n    <hasSubLevel>1</hasSubLevel>\n"
    "    <name>季節</name>\n    <thumbnail>/g/1.png</thumbnail>\n"
    "    <thumbnailH>/g/1h.png</thumbnailH>\n    <thumbnailP>/g/1p.png</thumbnailP>\n"
    "    <thumbnailS>/g/1s.png</thumbnailS>\n";
std::string Group(int number, const std::string& lines) {
  return "  <genGroupInfo>\n    <pno>" + std::to_string(number) + "</pno>\n" + lines +
         "</genGroupInfo>\n";
}
std::string RecentGroup(int number) {
  return "  <genGroupInfo>\n    <pno>" + std::to_string(number) +
         "</pno>\n    <level>0</level>\n    <slevel>99</slevel>\n"
         "    <hasSubLevel>0</hasSubLevel>\n    <name>最近使った画像</name>\n"
         "    <thumbnail>/pictGroup/tab_recently_1.png</thumbnail>\n"
         "    <thumbnailH>/pictGroup/tab_recently_1_h.png</thumbnailH>\n"
         "    <thumbnailP>/pictGroup/tab_recently_1_p.png</thumbnailP>\n"
         "    <thumbnailS>/pictGroup/tab_recently_2.png</thumbnailS>\n"
         "  </genGroupInfo>\n";
}
std::string GenList(const std::string& records) {
  return "<genGroupList>\n" + records + "</genGroupList>\n";
}

TEST_F(PictureGroupListsTest, GenericAndBackgroundGroups) {
  const std::string levelZero =
      Group(0, kSeason) +
      Group(1, "    <level>0</level>\n    <slevel>2</slevel>\n    <hasSubLevel>0</hasSubLevel>\n"
               "    <name>A&B</name>\n") +
      Group(2, "    <level>0</level>\n    <slevel>3</slevel>\n    <name><x></name>\n"
               "    <thumbnail>/g/3.png</thumbnail>\n");
  const std::string back = GenList(
      Group(1, "    <level>0</level>\n    <slevel>1</slevel>\n    <name>背景</name>\n"
               "    <thumbnail>/b/1.png</thumbnail>\n    <thumbnailS>/b/1s.png</thumbnailS>\n") +
      Group(2, "    <level>0</level>\n    <slevel>2</slevel>\n    <name>Sky</name>\n"));
  const Row rows[] = {
      {"level 0 from 0, then the pseudo group", "list&level=0",
       GenList(levelZero + RecentGroup(3))},
      {"one level-0 row, pseudo group numbered 1", "list&name=季節",
       GenList(Group(0, kSeason) + RecentGroup(1))},
      {"subLevel key selects by level, first row not level 0", "list2&subLevel=1",
       GenList(Group(0,
                     "    <level>1</level>\n    <slevel>1</slevel>\n"
                     "    <hasSubLevel>0</hasSubLevel>\n    <name>Sub</name>\n"))},
      {"no rows, no pseudo group", "list&level=7", GenList("")},
      {"apostrophe in the value", "list&name=it's", GenList("")},
      {"key that is no identifier", "list&level) OR (1=1", GenList("")},
      {"key that is no column", "list&nocolumn=0", GenList("")},
      {"empty key", "list&=0", GenList("")},
      {"pair without =", "list&level", std::nullopt},
      {"background groups from 1 without hasSubLevel", "backlist&3", back},
      {"background list ignores its argument", "backlist&level=0", back},
      {"unknown selector answers empty", "nothing&level=0", std::string()},
      {"no second piece", "backlist", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ServeGenericGroup(row.argument), row.answer);
  }
}

}  // namespace
}  // namespace qb
