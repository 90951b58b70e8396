// A small catalogue of picture groups, templates, usage log and picture
// history rows, with the material and template files they name, for the
// answer tests of the picture and template routes.
//
// Products (searchSelNo / goodsPartsNo / goodsThumbName): SEL-1 with P-100
// and P-101, SEL-2 with P-200, O'Q with P-300, SEL-3 with P-100 again, SEL-6
// with P'Q. Top-level groups 1..3 and sub-level groups hang off them through
// kind-3 relations; generic groups of kbn 4 (three at level "0") and kbn 1.
#pragma once

#include <filesystem>
#include <string>

#include "TempDir.h"
#include "catalog/CatalogueFixture.h"
#include "util/MacAddress.h"

namespace qbtest {

class PictureCatalogue : public CatalogueFixture {
 protected:
  void SetUp() override {
    CatalogueFixture::SetUp();
    Exec(R"sql(
INSERT INTO paper_infos (id, searchSelNo, goodsPartsNo, goodsThumbName) VALUES
  (1, 'SEL-1', 'P-100', 'thumbA'), (2, 'SEL-1', 'P-101', 'thumbB'),
  (3, 'SEL-2', 'P-200', 'thumbA'), (4, 'O''Q', 'P-300', NULL),
  (5, 'SEL-3', 'P-100', 'thumbA'), (6, 'SEL-6', 'P''Q', 'thumbB');
INSERT INTO paper_relation2s (id, kbn, goodsPartsNo, itemId) VALUES
  (1, 3, 'P-100', 10), (2, 3, 'P-101', 20), (3, 3, 'P-200', 30), (4, 1, 'P-100', 30),
  (5, 3, 'SEL-2', 10), (6, 3, 'P-300', 20), (7, 3, 'P-101', 10);
INSERT INTO pict_group_top_level_infos VALUES
  (1, 2, 10, '花 & <葉>', 'flower', '/t/2.png', '/t/2h.png', '/t/2p.png', '/t/2d.png', '/t/2s.png', NULL, NULL),
  (2, 1, 20, 'Animals', 'animal\dog', NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (3, 3, 30, NULL, NULL, '/t/3.png', NULL, NULL, NULL, '/t/3s.png', NULL, NULL);
INSERT INTO pict_group_sub_level_infos (id, topLevelId, subLevelId, name, folder) VALUES
  (1, 3, 2, 'B', 'sub/b'), (2, 3, 1, 'あ', NULL), (3, 1, 1, NULL, 'sub/c'), (4, 3, 3, 'C', 'flower');
INSERT INTO generic_group_infos VALUES
  (1, 101, 4, '0', '1', '1', '季節', 'season', '/g/1.png', '/g/1h.png', '/g/1p.png', '/g/1d.png', '/g/1s.png', NULL, NULL),
  (2, 102, 4, '0', '2', '0', 'A&B', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (3, 103, 4, '0', '3', NULL, '<x>', 'frame', '/g/3.png', NULL, NULL, NULL, NULL, NULL, NULL),
  (4, 104, 4, '1', '1', '0', 'Sub', 'leaf', NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (5, 201, 1, '0', '1', '1', '背景', 'back1', '/b/1.png', NULL, NULL, NULL, '/b/1s.png', NULL, NULL),
  (6, 202, 1, '0', '2', '0', 'Sky', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO template_infos (id, templateInfoId, templateName, goodsThumbName, templateUrl, thumbnailUrl) VALUES
  (1, 7, 'ラベル & <A>', 'thumbA', 'http://x/tpl/t7.qx3', '/thumb/t7.png'),
  (2, 3, NULL, 'thumbA', 'plain.qx3', NULL),
  (3, 9, 'B', 'thumbB', '/tpl/dir', '/thumb/b.png');
INSERT INTO pict_generic_history_infos VALUES
  (0, 0, '/h/1t.png', '/h/1.png'), (0, 0, '/h/2t.png', NULL), (0, 5, '/h/3t.png', '/h/3.png');
)sql");
    // Usage log rows of this machine (the newest five count) and of others.
    const std::string mac = qb::GetMacAddress();
    Exec("INSERT INTO logs (mac_address, event_type, event_contents1, create_at) VALUES"
         "  ('" + mac + "', 3, 'a,/p/one.png,b', '2024-01-01 00:00:07'),"
         "  ('" + mac + "', 3, '/r5.png', '2024-01-01 00:00:05'),"
         "  ('" + mac + "', 3, '/r4.png', '2024-01-01 00:00:04'),"
         "  ('" + mac + "', 3, 'dir/x.png,,/q.png', '2024-01-01 00:00:02'),"
         "  ('" + mac + "', 3, '/r3.png', '2024-01-01 00:00:03'),"
         "  ('" + mac + "', 3, '/old.png', '2024-01-01 00:00:00'),"
         "  ('" + mac + "', 1, '/type1.png', '2024-01-01 00:00:09'),"
         "  ('" + mac + "-other', 3, '/other.png', '2024-01-01 00:00:08')");
    for (const char* file : {"sozai4_S/flower/a.png", "sozai4_S/animal/dog/dog.png",
                             "sozai4_S/sub/b/b1.png", "sozai4_S/汎用素材/season/s.png",
                             "sozai4_S/汎用素材/leaf/l.png", "sozai/汎用素材/back1/bg.png",
                             "template/t7.qx3", "template/plain.qx3", "template/b.png"}) {
      WriteFile(DataFolder() + "/" + file, "x");
    }
    std::filesystem::create_directories(DataFolder() + "/template/dir");
  }

  // One picture record with the same URL twice.
  static std::string Pict(int number, const std::string& url) {
    return "  <pictInfo>\n    <pno>" + std::to_string(number) + "</pno>\n    <thumbUrl>" + url +
           "</thumbUrl>\n    <imageUrl>" + url + "</imageUrl>\n  </pictInfo>\n";
  }
  static std::string PictList(const std::string& records) {
    return "<pictInfoList>\n" + records + "</pictInfoList>\n";
  }
};

}  // namespace qbtest
