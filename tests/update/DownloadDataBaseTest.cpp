#include "update/DownloadDataBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "update/TestHttpServer.h"
#include "util/CatalogueUrl.h"
#include "util/UserFolders.h"
#include "util/ZipTestFiles.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using qbtest::ReadAll;

// What the callbacks saw, in order (callbacks are plain functions).
std::vector<std::string> g_seen;
std::vector<int> g_pendingSeen;

void RecordText(const std::string& url, const std::string& tag, const std::string& body,
                DownloadDataBase& queue) {
  g_seen.push_back("text " + url + " [" + tag + "] " + body);
  g_pendingSeen.push_back(queue.Pending());
}

void RecordFailure(const std::string& url, const std::string& body, DownloadDataBase&) {
  g_seen.push_back("failed " + url + " [" + body + "]");
}

// Like the product importer: adds picture files to the running queue.
void AddPictures(const std::string& url, const std::string&, const std::string&,
                 DownloadDataBase& queue) {
  g_seen.push_back("text " + url);
  g_pendingSeen.push_back(queue.Pending());
  queue.Enqueue("/pict/a.png", "", nullptr, nullptr);
  queue.Enqueue("/pict/b.png", "", nullptr, nullptr);
  queue.Enqueue("/pict/a.png", "", nullptr, nullptr);
  g_pendingSeen.push_back(queue.Pending());
}

class DownloadDataBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_pendingSeen.clear();
    m_oldUrl = catalogueBaseUrl();
    ASSERT_TRUE(SetCatalogueBaseUrl(m_server.BaseUrl()));
  }
  void TearDown() override { SetCatalogueBaseUrl(m_oldUrl); }

  void Run() {
    m_queue.m_bRunning = 1;
    m_queue.m_bAllSucceeded = 1;
    m_queue.RunQueue();
  }
  std::string Data(const std::string& relative) const { return GetDataFolder() + relative; }

  qbtest::TempDir m_home;
  qbtest::ScopedEnv m_dataHome{"XDG_DATA_HOME", m_home.Path() + "/share"};
  qbtest::TestHttpServer m_server;
  std::string m_oldUrl;
  std::atomic<int> m_stop{0};
  DownloadDataBase m_queue{&m_stop};
};

TEST_F(DownloadDataBaseTest, ServesTextAndFileEntriesInOrderOnce) {
  m_server.Answer("/t/chkUpdate?date=x", 200, "<a>1</a>");
  m_server.Answer("/paper/thumb/A.png", 200, "PNG-A");
  m_server.Answer("/template/T.qx3", 200, "template");
  m_queue.Reset();
  m_queue.Enqueue("/t/chkUpdate?date=x", "/t_count/count", RecordText, RecordFailure);
  m_queue.Enqueue("/paper/thumb/A.png", "", nullptr, nullptr);
  m_queue.Enqueue("/paper/thumb/A.png", "other", RecordText, nullptr);  // duplicate: ignored
  m_queue.Enqueue("", "", nullptr, nullptr);                              // dropped
  m_queue.Enqueue("/template/T.qx3", "", nullptr, RecordFailure);
  EXPECT_EQ(m_queue.StatusText(), "V=4&M=100");

  Run();

  EXPECT_EQ(m_server.Targets(),
            (std::vector<std::string>{"/t/chkUpdate?date=x", "/paper/thumb/A.png",
                                      "/template/T.qx3"}));
  EXPECT_EQ(g_seen, (std::vector<std::string>{"text /t/chkUpdate?date=x [/t_count/count] <a>1</a>"}));
  EXPECT_EQ(ReadAll(Data("/paper/thumb/A.png")), "PNG-A");
  EXPECT_EQ(ReadAll(Data("/template/T.qx3")), "template");
  EXPECT_EQ(m_queue.m_bAllSucceeded.load(), 1);
  EXPECT_EQ(m_queue.m_bRunning.load(), 0);
  EXPECT_EQ(m_queue.StatusText(), "V=0&M=100");

  // Served URLs stay known until the next Reset.
  m_queue.Enqueue("/paper/thumb/A.png", "", nullptr, nullptr);
  EXPECT_EQ(m_queue.Pending(), 0);
  m_queue.Reset();
  m_queue.Enqueue("/paper/thumb/A.png", "", nullptr, nullptr);
  EXPECT_EQ(m_queue.Pending(), 1);
}

TEST_F(DownloadDataBaseTest, FailuresClearTheFlagOnlyForFiles) {
  m_server.Answer("/ok.png", 200, "ok");
  struct Row {
    const char* name;
    std::string url;
    DownloadDataBase::SuccessCallback onSuccess;
    int allSucceeded;
    std::vector<std::string> seen;
  };
  const Row rows[] = {
      {"failed text entry keeps the flag", "/t/getUpdate?date=x", RecordText, 1,
       {"failed /t/getUpdate?date=x []"}},
      {"failed file entry clears it", "/missing.png", nullptr, 0, {}},
      {"failed zip with a callback is a file entry", "/sozai4/F/image.ZIP", RecordText, 0, {}},
      {"path leaving the data folder is refused", "/../../outside.png", nullptr, 0, {}},
      {"served file keeps the flag", "/ok.png", nullptr, 1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_seen.clear();
    m_queue.Reset();
    m_queue.Enqueue(row.url, "", row.onSuccess, RecordFailure);
    const uint64_t failures = m_queue.FailureCount();
    Run();
    EXPECT_EQ(m_queue.m_bAllSucceeded.load(), row.allSucceeded);
    // The count keeps the failure even when another run sets the flag again.
    m_queue.m_bAllSucceeded.store(1);
    EXPECT_EQ(m_queue.FailureCount() - failures, row.allSucceeded ? 0u : 1u);
    EXPECT_EQ(g_seen, row.seen);
    EXPECT_EQ(m_queue.Pending(), 0);
  }
  EXPECT_FALSE(fs::exists(m_home.Path() + "/outside.png"));
  for (const std::string& target : m_server.Targets()) {
    EXPECT_EQ(target.find(".."), std::string::npos) << target;
  }
}

TEST_F(DownloadDataBaseTest, AFailedFileDownloadKeepsTheEarlierFile) {
  m_server.Answer("/pict/new.png", 200, "new");
  m_server.Answer("/pict/broken.png", 500, "oops");
  struct Row {
    const char* name;
    std::string url;
    std::string content;  // of the file afterwards
  };
  const Row rows[] = {
      {"served: replaced", "/pict/new.png", "new"},
      {"server error: kept", "/pict/broken.png", "earlier"},
      {"not found: kept", "/pict/missing.png", "earlier"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::create_directories(Data("/pict"));
    qbtest::WriteFile(Data(row.url), "earlier");
    m_queue.Reset();
    m_queue.Enqueue(row.url, "", nullptr, nullptr);
    Run();
    EXPECT_EQ(ReadAll(Data(row.url)), row.content);
    EXPECT_FALSE(fs::exists(Data(row.url + kPartialSuffix)));
  }
}

TEST_F(DownloadDataBaseTest, ZipIsUnpackedNextToItselfAndRemoved) {
  qbtest::TempDir scratch;
  qbtest::WriteZip(scratch.Path() + "/image.zip", {{"p1.png", "one"}, {"sub/p2.png", "two"}});
  m_server.Answer("/sozai4/top001/image.zip", 200, ReadAll(scratch.Path() + "/image.zip"));
  m_queue.Reset();
  m_queue.Enqueue("/sozai4/top001/image.zip", "", RecordText, RecordFailure);
  Run();
  EXPECT_EQ(ReadAll(Data("/sozai4/top001/p1.png")), "one");
  EXPECT_EQ(ReadAll(Data("/sozai4/top001/sub/p2.png")), "two");
  EXPECT_FALSE(fs::exists(Data("/sozai4/top001/image.zip")));
  EXPECT_TRUE(g_seen.empty()) << "no callback for a file entry";
  EXPECT_EQ(m_queue.m_bAllSucceeded.load(), 1);
}

TEST_F(DownloadDataBaseTest, StatusFallsThenRisesWhenACallbackAddsFiles) {
  m_server.Answer("/a", 200, "a");
  m_server.Answer("/papers", 200, "records");
  m_server.Answer("/c", 200, "c");
  m_server.Answer("/pict/a.png", 200, "A");
  m_server.Answer("/pict/b.png", 200, "B");
  m_queue.Reset();
  m_queue.Enqueue("/a", "", RecordText, nullptr);
  m_queue.Enqueue("/papers", "", AddPictures, nullptr);
  m_queue.Enqueue("/c", "", RecordText, nullptr);
  Run();
  // Seen while serving: 3 waiting, then 2, then 2 + 2 pictures, then 3.
  EXPECT_EQ(g_pendingSeen, (std::vector<int>{3, 2, 4, 3}));
  EXPECT_EQ(m_server.Targets(),
            (std::vector<std::string>{"/a", "/papers", "/c", "/pict/a.png", "/pict/b.png"}));
  EXPECT_EQ(m_queue.StatusText(), "V=0&M=100");
}

// Like the product importer on a worker thread: each list adds its own two
// pictures and one that every list shares.
std::atomic<int> g_listsServed{0};

void AddOwnPictures(const std::string& url, const std::string&, const std::string&,
                    DownloadDataBase& queue) {
  ++g_listsServed;
  queue.Enqueue(url + "a.png", "", nullptr, nullptr);
  queue.Enqueue(url + "b.png", "", nullptr, nullptr);
  queue.Enqueue("/shared.png", "", nullptr, nullptr);
}

// An update and a material request serving the one queue side by side while
// the status routes poll it.
using DownloadDataBaseConcurrency = DownloadDataBaseTest;

TEST_F(DownloadDataBaseConcurrency, TwoWorkersAndAPollerServeEveryEntryOnce) {
  constexpr int kLists = 8;
  std::vector<std::string> expected{"/shared.png"};
  m_server.Answer("/shared.png", 200, "s");
  for (int i = 0; i < kLists; ++i) {
    const std::string list = "/list/" + std::to_string(i) + "/";
    m_server.Answer(list, 200, "records");
    m_server.Answer(list + "a.png", 200, "a");
    m_server.Answer(list + "b.png", 200, "b");
    m_queue.Enqueue(list, "", AddOwnPictures, RecordFailure);
    expected.insert(expected.end(), {list, list + "a.png", list + "b.png"});
  }
  g_listsServed = 0;
  m_queue.m_bRunning = 1;
  m_queue.m_bAllSucceeded = 1;
  std::atomic<bool> done{false};
  std::vector<std::string> statuses;
  std::thread poller([&] {
    while (!done.load()) {
      statuses.push_back(m_queue.StatusText());
    }
  });
  std::thread second([this] { m_queue.RunQueue(); });
  m_queue.RunQueue();
  second.join();
  done = true;
  poller.join();

  std::vector<std::string> targets = m_server.Targets();
  std::sort(targets.begin(), targets.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(targets, expected);
  EXPECT_EQ(g_listsServed.load(), kLists);
  EXPECT_TRUE(g_seen.empty()) << "no list failed";
  EXPECT_EQ(m_queue.Pending(), 0);
  EXPECT_EQ(m_queue.m_bAllSucceeded.load(), 1);
  EXPECT_EQ(ReadAll(Data("/list/3/b.png")), "b");
  for (const std::string& status : statuses) {
    const int pending = std::stoi(status.substr(2));
    EXPECT_TRUE(status.starts_with("V=") && status.ends_with("&M=100")) << status;
    EXPECT_TRUE(pending >= 0 && pending <= static_cast<int>(expected.size())) << status;
  }
}

TEST_F(DownloadDataBaseTest, StopFlagEndsTheRun) {
  m_server.Answer("/a.png", 200, "a");
  m_queue.Enqueue("/a.png", "", nullptr, nullptr);
  m_stop = 1;
  Run();
  EXPECT_TRUE(m_server.Targets().empty());
  EXPECT_EQ(m_queue.Pending(), 1);
}

TEST_F(DownloadDataBaseTest, CommitVersionFileNeedsSuccessAndANewVersion) {
  struct Row {
    const char* name;
    int allSucceeded;
    bool newFile;
    std::string expected;
  };
  const Row rows[] = {
      {"success with a new version", 1, true, "DBVER=21\n"},
      {"a failed download", 0, true, "DBVER=20\n"},
      {"no new version", 1, false, "DBVER=20\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(Data("/New_verFile_DB.txt"));
    qbtest::WriteFile(Data("/verFile_DB.txt"), "DBVER=20\n");
    if (row.newFile) {
      qbtest::WriteFile(Data("/New_verFile_DB.txt"), "DBVER=21\n");
    }
    m_queue.m_bAllSucceeded = row.allSucceeded;
    m_queue.CommitVersionFile();
    EXPECT_EQ(ReadAll(Data("/verFile_DB.txt")), row.expected);
    EXPECT_EQ(fs::exists(Data("/New_verFile_DB.txt")), row.newFile && row.allSucceeded == 0);
  }
}

}  // namespace
}  // namespace qb
