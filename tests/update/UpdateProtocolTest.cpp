#include "update/UpdateProtocol.h"

#include <algorithm>
#include <gtest/gtest.h>

#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "catalog/CatalogueFixture.h"
#include "catalog/CatalogueTable.h"
#include "update/TestHttpServer.h"
#include "update/UpdateRun.h"
#include "update/VersionCheck.h"
#include "util/CatalogueUrl.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using qbtest::ReadAll;

TEST(VersionNumber, ReadsTheNumberAfterTheFirstEquals) {
  struct Row {
    const char* text;
    int version;
  };
  const Row rows[] = {
      {"DBVER=20", 20}, {"x=20\r\n", 20}, {"x=  -3abc", -3}, {"x=abc", 0}, {"no equals 20", 0},
      {"", 0},          {"a=7=9", 7},     {"x=99999999999", 2147483647},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(VersionNumber(row.text), row.version);
  }
}

TEST(CountFromXml, ReadsTheNodeAtThePathOrSaysWhatIsWrong) {
  struct Row {
    const char* name;
    std::string xml;
    std::optional<int> count;  // nullopt: not a count document
  };
  const Row rows[] = {
      {"count", "<?xml version=\"1.0\"?><kbn_infos_count><count>12</count></kbn_infos_count>", 12},
      {"blanks and text after the digits", "<kbn_infos_count><count> 0\n</count></kbn_infos_count>", 0},
      {"other root", "<categories_count><count>3</count></categories_count>", std::nullopt},
      {"no count node", "<?xml version=\"1.0\"?><kbn_infos_count/>", std::nullopt},
      {"not xml", "<kbn_infos_count><count>3</count>", std::nullopt},
      {"html page", "<!DOCTYPE html><html><body><p>Maintenance<br></p></body></html>", std::nullopt},
      {"no element", "<?xml version=\"1.0\"?>", std::nullopt},
      {"empty", "", std::nullopt},
      {"no digits", "<kbn_infos_count><count>many</count></kbn_infos_count>", std::nullopt},
      {"empty count", "<kbn_infos_count><count/></kbn_infos_count>", std::nullopt},
      {"negative", "<kbn_infos_count><count>-4</count></kbn_infos_count>", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result<int> count = CountFromXml(row.xml, "/kbn_infos_count/count");
    EXPECT_EQ(count.has_value(), row.count.has_value());
    if (row.count && count) {
      EXPECT_EQ(*count, *row.count);
    }
    EXPECT_EQ(count.Error().empty(), row.count.has_value());
  }
}

// `targets` from `first` up to `last`, sorted: requests sent several at a
// time reach the server in no fixed order.
std::vector<std::string> SortedPart(const std::vector<std::string>& targets, size_t first,
                                    size_t last) {
  std::vector<std::string> part(targets.begin() + static_cast<std::ptrdiff_t>(first),
                                targets.begin() + static_cast<std::ptrdiff_t>(last));
  std::sort(part.begin(), part.end());
  return part;
}

// The names of the tables an update asks for, in its order.
std::vector<std::string> RefreshedTableNames() {
  std::vector<std::string> names;
  for (const CatalogueTable* table : RefreshedCatalogueTables()) {
    names.emplace_back(table->name);
  }
  return names;
}

class UpdateProtocolTest : public qbtest::CatalogueFixture {
 protected:
  void SetUp() override {
    CatalogueFixture::SetUp();
    m_oldUrl = catalogueBaseUrl();
    ASSERT_TRUE(SetCatalogueBaseUrl(m_server.BaseUrl()));
  }
  void TearDown() override { SetCatalogueBaseUrl(m_oldUrl); }
  std::string Data(const std::string& name) const { return DataFolder() + "/" + name; }

  qbtest::TestHttpServer m_server;
  std::string m_oldUrl;
  CatalogueSchema m_definitions;
  DownloadQueue m_queue;
};

TEST_F(UpdateProtocolTest, CheckCatalogueVersionComparesLocalAndServer) {
  struct Row {
    const char* name;
    std::optional<std::string> local;
    int status;
    std::string remote;
    VersionCheck result;
    std::optional<std::string> fresh;  // New_verFile_DB.txt afterwards
  };
  const Row rows[] = {
      {"server newer", "DBVER=19\n", 200, "DBVER=20\r\n", VersionCheck::kServerNewer,
       "DBVER=20\r\n"},
      {"same version", "DBVER=20\n", 200, "DBVER=20", VersionCheck::kUpToDate, std::nullopt},
      {"server older", "DBVER=20\n", 200, "DBVER=18", VersionCheck::kUpToDate, std::nullopt},
      {"empty local file", "", 200, "DBVER=1", VersionCheck::kServerNewer, "DBVER=1"},
      {"local without equals counts 0", "20", 200, "V=1", VersionCheck::kServerNewer, "V=1"},
      {"no local file", std::nullopt, 200, "DBVER=20", VersionCheck::kNoLocalVersion,
       std::nullopt},
      {"server fails", "DBVER=1\n", 500, "DBVER=20", VersionCheck::kServerUnreadable,
       std::nullopt},
      {"server empty", "DBVER=1\n", 200, "", VersionCheck::kServerUnreadable, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(Data("verFile_DB.txt"));
    fs::remove(Data("New_verFile_DB.txt"));
    if (row.local) {
      qbtest::WriteFile(Data("verFile_DB.txt"), *row.local);
    }
    m_server.Answer("/Ver3/DeskTop/verFile_DB.txt", row.status, row.remote);
    const size_t before = m_server.Targets().size();
    EXPECT_EQ(CheckCatalogueVersion(), row.result);
    EXPECT_EQ(m_server.Targets().size() - before, row.local ? 1u : 0u);
    EXPECT_EQ(fs::exists(Data("New_verFile_DB.txt")), row.fresh.has_value());
    if (row.fresh) {
      EXPECT_EQ(ReadAll(Data("New_verFile_DB.txt")), *row.fresh);
    }
  }
}

TEST_F(UpdateProtocolTest, TableDatesFollowTheLatestChange) {
  Exec("INSERT INTO paper_infos (id, update_at) VALUES (1, '2023-05-01 10:00:00'), (2, '2022-01-01 00:00:00')");
  Exec("INSERT INTO categories (id, update_at) VALUES (1, '')");
  Exec("INSERT INTO kbn_infos (id, update_at) VALUES (1, '2024-02-02 00:00:00')");
  struct Row {
    const char* name;
    std::string table;
    bool refresh;
    std::string date;
  };
  const Row rows[] = {
      {"latest update_at", "paper_infos", false, "2023-05-01 10:00:00"},
      {"jan_code refresh", "paper_infos", true, "2021-06-01 00:00:00"},
      {"refresh only for paper_infos", "kbn_infos", true, "2024-02-02 00:00:00"},
      {"empty table", "template_infos", true, "2013-01-01 00:00:00"},
      {"empty text", "categories", false, "2013-01-01 00:00:00"},
      {"missing table", "no_such_table", true, "2013-01-01 00:00:00"},
  };
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(TableUpdateDate(*db, row.table, row.refresh), row.date);
  }
  Exec("DELETE FROM paper_infos");
  EXPECT_EQ(TableUpdateDate(*db, "paper_infos", true), "2013-01-01 00:00:00");
}

TEST_F(UpdateProtocolTest, AnswersAreImportedByTheirRootElement) {
  struct Row {
    const char* name;
    std::string body;
    uint64_t failures;
  };
  const Row rows[] = {
      {"the table asked for", "<?xml version=\"1.0\"?><kbn_infos><r><id>2</id><kbn>1</kbn><kbnId>1</kbnId></r></kbn_infos>", 0},
      {"categories answer from the kbn_infos request: stored, kbn_infos still unknown",
       "<?xml version=\"1.0\"?><categories><r><id>4</id><categoryId>4</categoryId></r></categories>", 1},
      {"logs are never imported", "<?xml version=\"1.0\"?><logs><r><id>1</id></r></logs>", 1},
      {"unknown root", "<?xml version=\"1.0\"?><nothing><r/></nothing>", 1},
      {"html page", "<html><body>Maintenance</body></html>", 1},
      {"no element", "<?xml version=\"1.0\"?>", 1},
      {"malformed answer keeps the version", "<?xml version=\"1.0\"?><categories><r>", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedDownloadJob job(m_queue, true);
    OnGetUpdateAnswer("/kbn_infos/getUpdate?date=x", row.body, job.Job());
    EXPECT_EQ(job.Run().failures, row.failures);
  }
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement count = db->Prepare(
      "SELECT (SELECT count(*) FROM categories), (SELECT count(*) FROM logs), "
      "(SELECT count(*) FROM kbn_infos)");
  ASSERT_TRUE(count.NextRow());
  EXPECT_EQ(count.Int(0), 1);
  EXPECT_EQ(count.Int(1), 0);
  EXPECT_EQ(count.Int(2), 1);
}

// A paper_infos answer holding product 1 with its required fields and `extra`.
std::string ProductAnswer(const std::string& extra) {
  return "<?xml version=\"1.0\"?><paper_infos><r><id>1</id>"
         "<paperInfoId>1</paperInfoId><category_id>1</category_id>"
         "<goodsDrawSize>0</goodsDrawSize><paperSizeInfo_id>1</paperSizeInfo_id>"
         "<templateInfo_id>0</templateInfo_id><paperFieldsNo>1</paperFieldsNo>"
         "<paperFieldsHNo>1</paperFieldsHNo><paperFieldsWNo>1</paperFieldsWNo>"
         "<paperOnePieceH>1</paperOnePieceH><paperOnePieceW>1</paperOnePieceW>"
         "<paperUnfiliedSpaceU>0</paperUnfiliedSpaceU><paperUnfiliedSpaceD>0</paperUnfiliedSpaceD>"
         "<paperUnfiliedSpaceL>0</paperUnfiliedSpaceL><paperUnfiliedSpaceR>0</paperUnfiliedSpaceR>"
         "<paperUnfiliedSpaceUD>0</paperUnfiliedSpaceUD><paperUnfiliedSpaceLR>0</paperUnfiliedSpaceLR>"
         + extra + "</r></paper_infos>";
}

std::string CountAnswer(const std::string& table, int count) {
  return "<?xml version=\"1.0\"?><" + table + "_count><count>" + std::to_string(count) +
         "</count></" + table + "_count>";
}

TEST_F(UpdateProtocolTest, UpdateRunCountsImportsAndCommits) {
  const std::string sent = "2013-01-01%2000:00:00";
  for (const std::string& table : RefreshedTableNames()) {
    m_server.Answer("/" + table + "/chkUpdate?date=" + sent, 200,
                    CountAnswer(table, table == "kbn_infos" ? 1 : 0));
  }
  qbtest::WriteFile(Data("verFile_DB.txt"), "DBVER=1\n");
  qbtest::WriteFile(Data("New_verFile_DB.txt"), "DBVER=2\n");

  // Nothing changed: no import phase; the catalogue is as new as the
  // server's, so the version found by the last check is committed.
  m_server.Answer("/kbn_infos/chkUpdate?date=" + sent, 200, CountAnswer("kbn_infos", 0));
  std::vector<std::string> counts;
  std::vector<std::string> records;
  for (const std::string& table : RefreshedTableNames()) {
    counts.push_back("/" + table + "/chkUpdate?date=" + sent);
    records.push_back("/" + table + "/getUpdate?date=" + sent);
  }
  ASSERT_EQ(counts.size(), 11u);
  std::sort(counts.begin(), counts.end());
  RunUpdate(m_definitions, m_queue);
  // Each table's count once, and nothing else.
  EXPECT_EQ(SortedPart(m_server.Targets(), 0, m_server.Targets().size()), counts);
  EXPECT_EQ(ReadAll(Data("verFile_DB.txt")), "DBVER=2\n");
  EXPECT_FALSE(fs::exists(Data("New_verFile_DB.txt")));
  qbtest::WriteFile(Data("New_verFile_DB.txt"), "DBVER=3\n");

  // One change: every table is asked for its count, then for its records,
  // and the product's picture is fetched once its records are imported; the
  // new version is committed.
  m_server.Answer("/kbn_infos/chkUpdate?date=" + sent, 200, CountAnswer("kbn_infos", 1));
  m_server.Answer("/paper_infos/getUpdate?date=" + sent, 200,
                  ProductAnswer("<goodsThumbName>/paper/t.png</goodsThumbName>"
                                "<update_at>2024-01-01 00:00:00</update_at>"));
  for (const std::string& table : RefreshedTableNames()) {
    if (table != "paper_infos") {
      m_server.Answer("/" + table + "/getUpdate?date=" + sent, 200,
                      "<?xml version=\"1.0\"?><" + table + "/>");
    }
  }
  m_server.Answer("/paper/t.png", 200, "PNG");
  RunUpdate(m_definitions, m_queue);
  const std::vector<std::string> targets = m_server.Targets();
  ASSERT_EQ(targets.size(), 11u + 11u + 11u + 1u);
  EXPECT_EQ(SortedPart(targets, 11, 22), counts);
  // The picture may be asked for while later tables' records still arrive.
  records.push_back("/paper/t.png");
  std::sort(records.begin(), records.end());
  EXPECT_EQ(SortedPart(targets, 22, targets.size()), records);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement product = db->Prepare("SELECT id, goodsThumbName, update_at FROM paper_infos");
  ASSERT_TRUE(product.NextRow());
  EXPECT_EQ(product.Int(0), 1);
  EXPECT_EQ(product.Text(1).value_or(""), "/paper/t.png");
  EXPECT_EQ(product.Text(2).value_or(""), "2024-01-01 00:00:00");
  EXPECT_FALSE(product.NextRow());
  EXPECT_EQ(ReadAll(Data("paper/t.png")), "PNG");
  EXPECT_EQ(ReadAll(Data("verFile_DB.txt")), "DBVER=3\n");
  EXPECT_FALSE(fs::exists(Data("New_verFile_DB.txt")));
  EXPECT_EQ(m_queue.StatusText(), "V=0&M=100");
}

TEST_F(UpdateProtocolTest, FailedOrUnusableTablesAndFailedPicturesKeepTheVersion) {
  const std::string sent = "2013-01-01%2000:00:00";
  const std::string count = "/categories/chkUpdate?date=" + sent;
  const std::string records = "/categories/getUpdate?date=" + sent;
  const std::string page = "<html><body>Down for maintenance<br></body></html>";
  struct Row {
    const char* name;
    std::string path;  // answered with `status` and `body`; empty: nothing fails
    int status;
    std::string body;
    bool committed;
  };
  const Row rows[] = {
      {"all served", "", 0, "", true},
      {"a count request fails", "/kbn_infos/chkUpdate?date=" + sent, 500, "", false},
      {"a table request fails", records, 500, "", false},
      {"a picture download fails", "/p.png", 404, "", false},
      {"count: html page", count, 200, page, false},
      {"count: xml without the count", count, 200, "<?xml version=\"1.0\"?><categories_count/>", false},
      {"count: another root", count, 200, "<?xml version=\"1.0\"?><error><count>0</count></error>", false},
      {"count: no element", count, 200, "<?xml version=\"1.0\"?>", false},
      {"records: html page", records, 200, page, false},
      {"records: another root", records, 200, "<?xml version=\"1.0\"?><error><r/></error>", false},
      {"records: no element", records, 200, "<?xml version=\"1.0\"?>", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Exec("DELETE FROM categories");
    qbtest::WriteFile(Data("verFile_DB.txt"), "DBVER=1\n");
    qbtest::WriteFile(Data("New_verFile_DB.txt"), "DBVER=2\n");
    for (const std::string& table : RefreshedTableNames()) {
      m_server.Answer("/" + table + "/chkUpdate?date=" + sent, 200, CountAnswer(table, 1));
      m_server.Answer("/" + table + "/getUpdate?date=" + sent, 200,
                      "<?xml version=\"1.0\"?><" + table + "/>");
    }
    m_server.Answer(records, 200,
                    "<?xml version=\"1.0\"?><categories><r><id>1</id><categoryId>1</categoryId>"
                    "<update_at></update_at></r></categories>");
    m_server.Answer("/paper_infos/getUpdate?date=" + sent, 200,
                    "<?xml version=\"1.0\"?><paper_infos><r><goodsThumbName>/p.png</goodsThumbName></r></paper_infos>");
    m_server.Answer("/p.png", 200, "P");
    if (!row.path.empty()) {
      m_server.Answer(row.path, row.status, row.body);
    }
    RunUpdate(m_definitions, m_queue);
    EXPECT_EQ(ReadAll(Data("verFile_DB.txt")), row.committed ? "DBVER=2\n" : "DBVER=1\n");
    EXPECT_EQ(PendingVersionText(), row.committed ? std::nullopt : std::optional<std::string>("DBVER=2\n"));
  }
}

TEST_F(UpdateProtocolTest, MissingPicturesAreFetchedByLaterRuns) {
  // A picture whose download failed is named by current records: later runs
  // without changes still fetch it, once it is missing, and the first run
  // that has everything commits the version.
  const std::string sent = "2013-01-01%2000:00:00";
  for (const std::string& table : RefreshedTableNames()) {
    m_server.Answer("/" + table + "/chkUpdate?date=" + sent, 200,
                    CountAnswer(table, table == "paper_infos" ? 1 : 0));
    m_server.Answer("/" + table + "/getUpdate?date=" + sent, 200,
                    "<?xml version=\"1.0\"?><" + table + "/>");
  }
  m_server.Answer("/paper_infos/getUpdate?date=" + sent, 200,
                  ProductAnswer("<goodsThumbName>/p.png</goodsThumbName><goodsPictMask>m.png</goodsPictMask>"));
  qbtest::WriteFile(Data("verFile_DB.txt"), "DBVER=1\n");
  qbtest::WriteFile(Data("New_verFile_DB.txt"), "DBVER=2\n");
  RunUpdate(m_definitions, m_queue);  // /p.png is not found
  // Pictures may be asked for while later tables are still being asked.
  const std::vector<std::string> firstRun = m_server.Targets();
  ASSERT_EQ(std::count(firstRun.begin(), firstRun.end(), "/p.png"), 1);
  EXPECT_FALSE(fs::exists(Data("p.png")));

  for (const std::string& table : RefreshedTableNames()) {
    m_server.Answer("/" + table + "/chkUpdate?date=" + sent, 200, CountAnswer(table, 0));
  }
  m_server.Answer("/p.png", 200, "P");
  struct Row {
    const char* name;
    std::vector<std::string> pictures;  // picture requests of the run
  };
  const Row rows[] = {
      {"the missing picture is fetched and the version committed", {"/p.png"}},
      {"nothing is missing any more", {}},
  };
  EXPECT_EQ(ReadAll(Data("verFile_DB.txt")), "DBVER=1\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const size_t before = m_server.Targets().size();
    RunUpdate(m_definitions, m_queue);
    const std::vector<std::string> targets = m_server.Targets();
    std::vector<std::string> pictures;
    for (size_t i = before; i < targets.size(); ++i) {
      if (targets[i].find("Update?") == std::string::npos) {
        pictures.push_back(targets[i]);
      }
    }
    EXPECT_EQ(pictures, row.pictures);
    EXPECT_EQ(ReadAll(Data("p.png")), "P");
    EXPECT_EQ(ReadAll(Data("verFile_DB.txt")), "DBVER=2\n");
  }
}

TEST_F(UpdateProtocolTest, CommitKeepsAVersionFoundAfterTheRunBegan) {
  struct Row {
    const char* name;
    std::string local;       // "verFile_DB.txt" before
    std::string pendingNow;  // "New_verFile_DB.txt" when the run ends
    std::string committed;   // "verFile_DB.txt" after
  };
  const Row rows[] = {
      {"the version the run began with", "DBVER=20\n", "DBVER=21\n", "DBVER=21\n"},
      {"a check found a newer one meanwhile", "DBVER=20\n", "DBVER=22\n", "DBVER=21\n"},
      {"a stale pending version never goes back", "DBVER=22\n", "DBVER=21\n", "DBVER=22\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::WriteFile(Data("verFile_DB.txt"), row.local);
    qbtest::WriteFile(Data("New_verFile_DB.txt"), row.pendingNow);
    CommitVersionFile("DBVER=21\n");
    EXPECT_EQ(ReadAll(Data("verFile_DB.txt")), row.committed);
    EXPECT_EQ(PendingVersionText(), row.pendingNow == "DBVER=21\n"
                                        ? std::nullopt
                                        : std::optional<std::string>(row.pendingNow));
  }
}

// As after a start with no DB_URL: nothing has prepared the catalogue, not
// even its file; the run creates the tables, asks every table and stores what
// changed.
TEST_F(UpdateProtocolTest, AnUpdateNeedsNoDbUrlBeforeIt) {
  ASSERT_TRUE(fs::remove(CatalogueDb::Path()));
  const std::string sent = "2013-01-01%2000:00:00";
  for (const std::string& table : RefreshedTableNames()) {
    m_server.Answer("/" + table + "/chkUpdate?date=" + sent, 200,
                    CountAnswer(table, table == "kbn_infos" ? 1 : 0));
    m_server.Answer("/" + table + "/getUpdate?date=" + sent, 200,
                    table == "kbn_infos"
                        ? "<?xml version=\"1.0\"?><kbn_infos><r><id>2</id><kbn>1</kbn><kbnId>1</kbnId>"
                          "</r></kbn_infos>"
                        : "<?xml version=\"1.0\"?><" + table + "/>");
  }
  CatalogueSchema fresh;
  RunUpdate(fresh, m_queue);
  EXPECT_EQ(m_server.Targets().size(), 22u);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement count = db->Prepare("SELECT count(*) FROM kbn_infos WHERE id = 2");
  ASSERT_TRUE(count.NextRow());
  EXPECT_EQ(count.Int(0), 1);
}

}  // namespace
}  // namespace qb
