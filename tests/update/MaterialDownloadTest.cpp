#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "update/DownloadQueue.h"
#include "update/MaterialDownload.h"
#include "update/TemplateDownload.h"
#include "update/TestHttpServer.h"
#include "util/CatalogueUrl.h"
#include "util/UserFolders.h"
#include "util/ZipTestFiles.h"

namespace qb {
namespace {

namespace fs = std::filesystem;
using Targets = std::vector<std::string>;

std::string List(const std::string& element, const std::vector<std::string>& values) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<generic_group_infos>\n";
  for (const std::string& value : values) {
    xml += "  <row><" + element + ">" + value + "</" + element + "><name>n</name></row>\n";
  }
  xml += "  <row><name>no " + element + "</name></row>\n</generic_group_infos>\n";
  return xml;
}

class DownloadRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_oldUrl = catalogueBaseUrl();
    ASSERT_TRUE(SetCatalogueBaseUrl(m_server.BaseUrl()));
  }
  void TearDown() override { SetCatalogueBaseUrl(m_oldUrl); }

  std::string Data(const std::string& relative) const { return GetDataFolder() + relative; }
  std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string path = m_home.Path() + "/made.zip";
    qbtest::WriteZip(path, entries);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  // Targets received since the last call.
  Targets NewTargets() {
    const Targets all = m_server.Targets();
    Targets fresh(all.begin() + static_cast<std::ptrdiff_t>(m_seen), all.end());
    m_seen = all.size();
    return fresh;
  }

  qbtest::TempDir m_home;
  qbtest::ScopedEnv m_dataHome{"XDG_DATA_HOME", m_home.Path() + "/share"};
  qbtest::TestHttpServer m_server;
  std::string m_oldUrl;
  size_t m_seen = 0;
  DownloadQueue m_queue;
};

TEST_F(DownloadRequestTest, MaterialKindsFetchTheirListsAndMaterials) {
  m_server.Answer("/generic_group_infos/list2?level=L", 200, List("slevel", {"S1", "S2"}));
  m_server.Answer("/generic_group_infos/images2?level=S1", 200,
                  List("imageUrl", {"/sozai4/g/p1.png", "/pict/other.png"}));
  m_server.Answer("/sozai4/g/p1.png", 200, "PNG");
  m_server.Answer("/sozai4_S/g/p1.png", 200, "png");
  m_server.Answer("/generic_group_infos/backimages?level=B", 200,
                  List("imageUrl", {"/sozai/b/back.png", "/sozai4/b/q.png"}));
  m_server.Answer("/sozai4/F/image.zip", 200, ZipBytes({{"a.png", "A"}, {"sub/b.png", "B"}}));
  m_server.Answer("/sozai4_S/F/image.zip", 200, ZipBytes({{"a.png", "a"}}));

  struct Row {
    const char* name;
    MaterialKind kind;
    std::string folder;
    std::string value;
    Targets targets;    // the earlier entry is served in its place in the queue
    bool earlierKept;  // the request did not serve the queue: the earlier entry waits
    std::vector<std::string> files;
    std::vector<std::string> absent;
  };
  const Row rows[] = {
      {"kind 0 does nothing", MaterialKind::kNone, "", "", {}, true, {}, {}},
      {"kind 4 does nothing", static_cast<MaterialKind>(4), "F", "L", {}, true, {}, {}},
      {"kind 1: images of each group and their small variants, into memory",
       MaterialKind::kLevelImages, "", "L",
       {"/generic_group_infos/list2?level=L", "/generic_group_infos/images2?level=S1",
        "/generic_group_infos/images2?level=S2", "/earlier.png", "/sozai4/g/p1.png",
        "/sozai4_S/g/p1.png", "/pict/other.png"},
       false, {}, {"/sozai4/g/p1.png", "/sozai4_S/g/p1.png", "/pict/other.png"}},
      {"kind 1 without a list leaves the queue alone", MaterialKind::kLevelImages, "", "none",
       {"/generic_group_infos/list2?level=none"}, true, {}, {}},
      {"kind 2 with a folder: both archives unpacked and removed",
       MaterialKind::kGroupArchives, "F", "7",
       {"/earlier.png", "/sozai4/F/image.zip", "/sozai4_S/F/image.zip"}, false,
       {"/sozai4/F/a.png", "/sozai4/F/sub/b.png", "/sozai4_S/F/a.png"},
       {"/sozai4/F/image.zip", "/sozai4_S/F/image.zip"}},
      {"kind 3: background pictures only, no small variants", MaterialKind::kBackImages, "", "B",
       {"/generic_group_infos/backimages?level=B", "/earlier.png", "/sozai/b/back.png",
        "/sozai4/b/q.png"},
       false, {}, {"/sozai/b/back.png"}},
      {"kind 3 without a list leaves the queue alone", MaterialKind::kBackImages, "", "none",
       {"/generic_group_infos/backimages?level=none"}, true, {}, {}},
  };
  m_server.Answer("/earlier.png", 200, "E");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // An update waiting for a picture: the material request serves it in
    // turn and never takes it away.
    ScopedDownloadJob update(m_queue, true);
    update.Job().Enqueue("/earlier.png", nullptr, nullptr);

    MaterialDownload(row.kind).RunMaterialRequest(m_queue, row.folder, row.value);

    EXPECT_EQ(NewTargets(), row.targets);
    EXPECT_EQ(m_queue.Pending(), row.earlierKept ? 1 : 0);
    EXPECT_EQ(update.Run().files, 1u);
    NewTargets();
    fs::remove(Data("/earlier.png"));
    for (const std::string& file : row.files) {
      EXPECT_TRUE(fs::is_regular_file(Data(file))) << file;
    }
    for (const std::string& file : row.absent) {
      EXPECT_FALSE(fs::exists(Data(file))) << file;
    }
  }
}

TEST_F(DownloadRequestTest, FolderArchivesFollowTheLocalListOrder) {
  const std::string list =
      "<pictGroupSubLevelInfos>\n"
      "  <subLevelInfo>\n    <pno>1</pno>\n    <folder>top/s2</folder>\n</subLevelInfo>\n"
      "  <subLevelInfo>\n    <pno>2</pno>\n</subLevelInfo>\n"
      "  <subLevelInfo>\n    <pno>3</pno>\n    <folder>top/s1</folder>\n</subLevelInfo>\n"
      "</pictGroupSubLevelInfos>\n";
  MaterialDownload(MaterialKind::kGroupArchives).EnqueueFolderArchives(m_queue, list);
  EXPECT_EQ(NewTargets(), (Targets{"/sozai4/top/s2/image.zip", "/sozai4_S/top/s2/image.zip",
                                   "/sozai4/top/s1/image.zip", "/sozai4_S/top/s1/image.zip"}));

  // An unreadable list queues nothing and keeps what was waiting.
  ScopedDownloadJob earlier(m_queue, false);
  earlier.Job().Enqueue("/earlier.png", nullptr, nullptr);
  MaterialDownload(MaterialKind::kGroupArchives)
      .EnqueueFolderArchives(m_queue, "<pictGroupSubLevelInfos>\n  <sub");
  EXPECT_EQ(m_queue.Pending(), 1);
}

TEST(TemplateServerPathTest, KeepsTheLastPathComponent) {
  const std::pair<const char*, const char*> rows[] = {
      {"/template/files/T1.qx3", "/template/T1.qx3"},
      {"T2.png", "/template/T2.png"},
      {"http://host/a/b/T3.zip", "/template/T3.zip"},
      {"/a/../../x.qx3", "/template/x.qx3"},
  };
  for (const auto& [url, path] : rows) {
    SCOPED_TRACE(url);
    EXPECT_EQ(TemplateServerPath(url), path);
  }
}

TEST_F(DownloadRequestTest, TemplatesLandInTheTemplateFolderOnce) {
  m_server.Answer(
      "/template_infos/list?partsNo=P1", 200,
      "<?xml version=\"1.0\"?>\n<template_infos>\n"
      "  <row><thumbnailUrl>/template/thumbs/T1.png</thumbnailUrl>"
      "<templateUrl>/template/files/T1.qx3</templateUrl></row>\n"
      "  <row><templateUrl>/x/T2.zip</templateUrl></row>\n"
      "</template_infos>\n");
  m_server.Answer("/template/T1.png", 200, "thumb");
  m_server.Answer("/template/T1.qx3", 200, "<qx3/>");
  m_server.Answer("/template/T2.zip", 200, ZipBytes({{"T2.qx3", "two"}}));

  const struct {
    const char* name;
    std::string partsNo;
    Targets targets;
  } rows[] = {
      {"first request fetches every file", "P1",
       {"/template_infos/list?partsNo=P1", "/template/T1.png", "/template/T1.qx3",
        "/template/T2.zip"}},
      {"same request again fetches only the list", "P1", {"/template_infos/list?partsNo=P1"}},
      {"no list: nothing else", "P9", {"/template_infos/list?partsNo=P9"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TemplateDownload().DownloadTemplates(m_queue, row.partsNo);
    EXPECT_EQ(NewTargets(), row.targets);
    EXPECT_EQ(m_queue.Pending(), 0);
  }
  EXPECT_TRUE(fs::is_regular_file(Data("/template/T1.png")));
  EXPECT_TRUE(fs::is_regular_file(Data("/template/T1.qx3")));
  EXPECT_TRUE(fs::is_regular_file(Data("/template/T2.qx3")));
  EXPECT_FALSE(fs::exists(Data("/template/T2.zip")));
}

// Values put into list URLs and archive paths are encoded where they would
// change the URL's meaning; the files land under the names as given.
TEST_F(DownloadRequestTest, ValuesAreEncodedInTheUrlsOnly) {
  m_server.Answer("/template_infos/list?partsNo=x%26partsNo%3Dy", 200,
                  "<?xml version=\"1.0\"?>\n<template_infos>\n"
                  "  <row><templateUrl>/t/a b#1.qx3</templateUrl></row>\n</template_infos>\n");
  m_server.Answer("/template/a%20b%231.qx3", 200, "<qx3/>");
  m_server.Answer("/sozai4/%E7%B4%A0%20%25/image.zip", 200, ZipBytes({{"p.png", "P"}}));
  m_server.Answer("/generic_group_infos/backimages?level=1%23%3F", 200, List("imageUrl", {}));

  TemplateDownload().DownloadTemplates(m_queue, "x&partsNo=y");
  MaterialDownload(MaterialKind::kGroupArchives).RunMaterialRequest(m_queue, "\xE7\xB4\xA0 %", "1");
  MaterialDownload(MaterialKind::kBackImages).RunMaterialRequest(m_queue, "", "1#?");

  EXPECT_EQ(NewTargets(), (Targets{"/template_infos/list?partsNo=x%26partsNo%3Dy",
                                   "/template/a%20b%231.qx3", "/sozai4/%E7%B4%A0%20%25/image.zip",
                                   "/sozai4_S/%E7%B4%A0%20%25/image.zip",
                                   "/generic_group_infos/backimages?level=1%23%3F"}));
  EXPECT_EQ(qbtest::ReadAll(Data("/template/a b#1.qx3")), "<qx3/>");
  EXPECT_EQ(qbtest::ReadAll(Data("/sozai4/\xE7\xB4\xA0 %/p.png")), "P");
}

}  // namespace
}  // namespace qb
