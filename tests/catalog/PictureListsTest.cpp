// Answers of the picture lists: group pictures of "dbAccess/TOP_GROUP",
// "dbAccess/SUB_GROUP" and "dbAccess/GENERIC_GROUP", the recently used
// pictures, "dbAccess/PICT_RECENT", and the folder scan behind them.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "catalog/PictureCatalogue.h"
#include "catalog/ScanPictFolder.h"
#include "server/PictureRoutes.h"

namespace qb {
namespace {

class PictureListsTest : public qbtest::PictureCatalogue {};

struct Row {
  const char* name;
  std::optional<std::string> (*serve)(const std::string&);
  std::string argument;
  std::optional<std::string> answer;  // nullopt: malformed, the server error
};

TEST_F(PictureListsTest, PicturesOfGroups) {
  const std::string data = DataFolder();
  const std::string flower = Pict(0, data + "/sozai4_S/flower/a.png");
  const std::string subB = Pict(0, data + "/sozai4_S/sub/b/b1.png");
  const std::string season = Pict(0, data + "/sozai4_S/汎用素材/season/s.png");
  const std::string empty = PictList("");
  const Row rows[] = {
      {"top-level group folder", ServeTopGroup, "images&topLevelId=2", PictList(flower)},
      {"backslash in a folder is a separator", ServeTopGroup, "images&topLevelId=1",
       PictList(Pict(0, data + "/sozai4_S/animal/dog/dog.png"))},
      {"NULL folder gives no pictures", ServeTopGroup, "images&topLevelId=3", empty},
      {"key that is no identifier", ServeTopGroup, "images&topLevelId>0 OR 1=1", empty},
      {"key that is no column", ServeTopGroup, "images&nocolumn=1", empty},
      {"top-level pair without =", ServeTopGroup, "images&topLevelId", std::nullopt},
      {"sub-level folders one after the other, missing and NULL ones skipped", ServeSubGroup,
       "images&topLevelId=3", PictList(subB + flower)},
      {"two pairs when there are three pieces", ServeSubGroup, "images&topLevelId=3&subLevelId=2",
       PictList(subB)},
      {"only the first pair when there are four pieces", ServeSubGroup,
       "images&topLevelId=3&subLevelId=2&x=1", PictList(subB + flower)},
      {"missing folder gives no pictures", ServeSubGroup, "images&topLevelId=1", empty},
      {"second pair without =", ServeSubGroup, "images&topLevelId=3&subLevelId", std::nullopt},
      {"material groups by sub-level", ServeGenericGroup, "images&level=1",
       PictList(season + Pict(0, data + "/sozai4_S/汎用素材/leaf/l.png"))},
      {"material groups by another column", ServeGenericGroup, "pictImages2&name=季節",
       PictList(season)},
      {"background groups", ServeGenericGroup, "backimages&level=1",
       PictList(Pict(0, data + "/sozai/汎用素材/back1/bg.png"))},
      {"value null compares with NULL", ServeGenericGroup, "images&folder=null", empty},
      {"mac_address key builds no condition", ServeGenericGroup, "images&mac_address=x", empty},
      {"quotes in a value stay a value", ServeGenericGroup, "images&name=x' OR '1'='1", empty},
      {"generic pair without =", ServeGenericGroup, "images&name", std::nullopt},
      {"level without =", ServeGenericGroup, "images&level", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.serve(row.argument), row.answer);
  }
}

TEST_F(PictureListsTest, RecentlyUsedAndHistoryPictures) {
  // The newest five type-3 rows of this machine; pieces with "/" from the
  // first "/", numbered by their place in the row's list.
  const std::string recent =
      PictList(Pict(1, "/p/one.png") + Pict(0, "/r5.png") + Pict(0, "/r4.png") +
               Pict(0, "/r3.png") + Pict(0, "/x.png") + Pict(2, "/q.png"));
  const std::string empty = PictList("");
  const Row rows[] = {
      {"level 99 asks for the recently used pictures", ServeGenericGroup, "images&level=99",
       recent},
      {"any value containing 99", ServeGenericGroup, "backimages&level=199", recent},
      {"history rows numbered 99, NULL image left out", ServePictRecent, "topLevelId = 0",
       PictList("  <pictInfo>\n    <pno>99</pno>\n    <thumbUrl>/h/1t.png</thumbUrl>\n"
                "    <imageUrl>/h/1.png</imageUrl>\n  </pictInfo>\n"
                "  <pictInfo>\n    <pno>99</pno>\n    <thumbUrl>/h/2t.png</thumbUrl>\n"
                "  </pictInfo>\n")},
      {"history: reading another table is refused", ServePictRecent,
       "1=1 UNION SELECT mac_address, event_contents1 FROM logs", empty},
      {"history: a second statement is refused", ServePictRecent,
       "topLevelId = 0; DELETE FROM pict_generic_history_infos", empty},
      {"history: empty condition", ServePictRecent, "", empty},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.serve(row.argument), row.answer);
  }
}

TEST_F(PictureListsTest, FolderScanNumbersEveryEntryAndEntersSubfolders) {
  const std::string folder = DataFolder() + "/scan";
  for (const char* file : {"a.png", "b.txt", "Thumbs.db", "thumbs.db", "sub/x.png",
                           "sub/Thumbs.db", "sub/y.png"}) {
    qbtest::WriteFile(folder + "/" + file, "x");
  }
  std::filesystem::create_directory_symlink(folder, folder + "/loop");
  // The scan follows the order the file system lists entries in; read it the
  // same way to know each entry's place.
  auto places = [](const std::string& path) {
    std::map<std::string, int> place;
    int next = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      place[entry.path().filename().string()] = next++;
    }
    return place;
  };
  const std::map<std::string, int> top = places(folder);
  const std::map<std::string, int> sub = places(folder + "/sub");
  std::map<int, std::string> expected;  // records by place
  expected[top.at("a.png")] = Pict(top.at("a.png"), folder + "/a.png");
  expected[top.at("b.txt")] = Pict(top.at("b.txt"), folder + "/b.txt");
  expected[top.at("thumbs.db")] = Pict(top.at("thumbs.db"), folder + "/thumbs.db");
  std::map<int, std::string> subRecords;
  subRecords[sub.at("x.png")] = Pict(sub.at("x.png"), folder + "/sub/x.png");
  subRecords[sub.at("y.png")] = Pict(sub.at("y.png"), folder + "/sub/y.png");
  for (const auto& [place, record] : subRecords) expected[top.at("sub")] += record;
  std::string answer;
  for (const auto& [place, record] : expected) answer += record;

  std::string scanned;
  ScanPictFolder(folder, &scanned);
  EXPECT_EQ(scanned, answer);

  std::string missing;
  ScanPictFolder(folder + "/none", &missing);
  EXPECT_EQ(missing, "");
}

TEST_F(PictureListsTest, MaterialFoldersOutsideTheDataFolderAreNotScanned) {
  qbtest::WriteFile(DataFolder() + "/../outside/o.png", "x");
  Exec("INSERT INTO pict_group_top_level_infos (id, topLevelId, folder) VALUES"
       " (9, 9, '../../outside'), (10, 10, '..\\..\\outside')");
  EXPECT_EQ(ServeTopGroup("images&topLevelId=9"), PictList(""));
  EXPECT_EQ(ServeTopGroup("images&topLevelId=10"), PictList(""));
}

TEST_F(PictureListsTest, WithoutACatalogueFileEveryListIsEmpty) {
  std::filesystem::remove(qb::CatalogueDb::Path());
  const Row rows[] = {
      {"top-level groups", ServeTopGroup, "list&x=SEL-1",
       "<pictGroupTopLevelInfos>\n</pictGroupTopLevelInfos>\n"},
      {"sub-level groups", ServeSubGroup, "list&topLevelId = 3",
       "<pictGroupSubLevelInfos>\n</pictGroupSubLevelInfos>\n"},
      {"generic groups", ServeGenericGroup, "list&level=0", "<genGroupList>\n</genGroupList>\n"},
      {"background groups", ServeGenericGroup, "backlist&x", "<genGroupList>\n</genGroupList>\n"},
      {"group pictures", ServeTopGroup, "images&topLevelId=2", PictList("")},
      {"recently used", ServeGenericGroup, "images&level=99", PictList("")},
      {"history", ServePictRecent, "topLevelId = 0", PictList("")},
      {"templates", ServeTemplateList, "x=P-100", "<templateList>\n</templateList>\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.serve(row.argument), row.answer);
  }
  // Reading does not create the file.
  EXPECT_FALSE(std::filesystem::exists(qb::CatalogueDb::Path()));
}

}  // namespace
}  // namespace qb
