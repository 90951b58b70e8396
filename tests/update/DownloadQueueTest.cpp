#include "update/DownloadQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "update/TestHttpServer.h"
#include "update/UnpackedArchive.h"
#include "util/CatalogueUrl.h"
#include "util/UserFolders.h"
#include "util/ZipTestFiles.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using qbtest::ReadAll;

// The targets a server received with those from `from` on sorted: files are
// fetched several at a time, so their order is not fixed.
std::vector<std::string> FilesInAnyOrder(std::vector<std::string> targets, size_t from) {
  std::sort(targets.begin() + static_cast<std::ptrdiff_t>(std::min(from, targets.size())),
            targets.end());
  return targets;
}

// What the callbacks saw, in order.
std::vector<std::string> g_seen;
std::vector<int> g_pendingSeen;

void RecordText(const std::string& url, const std::string& body, DownloadJob& job) {
  g_seen.push_back("text " + url + " " + body);
  g_pendingSeen.push_back(job.Queue().Pending());
}

void RecordFailure(const std::string& url, DownloadJob&) {
  g_seen.push_back("failed " + url);
}

// Like the product importer: adds picture files to the job that runs it.
void AddPictures(const std::string& url, const std::string&, DownloadJob& job) {
  g_seen.push_back("text " + url);
  g_pendingSeen.push_back(job.Queue().Pending());
  job.Enqueue("/pict/a.png", nullptr, nullptr);
  job.Enqueue("/pict/b.png", nullptr, nullptr);
  job.Enqueue("/pict/a.png", nullptr, nullptr);
  g_pendingSeen.push_back(job.Queue().Pending());
}

class DownloadQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_pendingSeen.clear();
    m_oldUrl = catalogueBaseUrl();
    ASSERT_TRUE(SetCatalogueBaseUrl(m_server.BaseUrl()));
  }
  void TearDown() override { SetCatalogueBaseUrl(m_oldUrl); }

  // Queues `url` on a job of its own and serves it.
  DownloadTally RunOne(const std::string& url, DownloadQueue::SuccessCallback onSuccess = nullptr,
                       bool forgetServed = true) {
    ScopedDownloadJob job(m_queue, forgetServed);
    job.Job().Enqueue(url, onSuccess, RecordFailure);
    return job.Run();
  }
  std::string Data(const std::string& relative) const { return GetDataFolder() + relative; }

  qbtest::TempDir m_home;
  qbtest::ScopedEnv m_dataHome{"XDG_DATA_HOME", m_home.Path() + "/share"};
  qbtest::TestHttpServer m_server;
  std::string m_oldUrl;
  std::atomic<bool> m_stop{false};
  DownloadQueue m_queue{&m_stop};
};

TEST_F(DownloadQueueTest, ServesTextAndFileEntriesInOrderOnce) {
  m_server.Answer("/t/chkUpdate?date=x", 200, "<a>1</a>");
  m_server.Answer("/paper/thumb/A.png", 200, "PNG-A");
  m_server.Answer("/template/T.qx3", 200, "template");
  DownloadTally tally;
  {
    ScopedDownloadJob job(m_queue, true);
    job.Job().Enqueue("/t/chkUpdate?date=x", RecordText, RecordFailure);
    job.Job().Enqueue("/paper/thumb/A.png", nullptr, nullptr);
    job.Job().Enqueue("/paper/thumb/A.png", RecordText, nullptr);  // duplicate: ignored
    job.Job().Enqueue("", nullptr, nullptr);                       // names no file
    job.Job().Enqueue("/template/T.qx3", nullptr, RecordFailure);
    EXPECT_EQ(m_queue.StatusText(), "V=3&M=100");
    tally = job.Run();
  }

  // Fetched side by side, each once; the callback saw its answer.
  EXPECT_EQ(FilesInAnyOrder(m_server.Targets(), 0),
            (std::vector<std::string>{"/paper/thumb/A.png", "/t/chkUpdate?date=x",
                                      "/template/T.qx3"}));
  EXPECT_EQ(g_seen, (std::vector<std::string>{"text /t/chkUpdate?date=x <a>1</a>"}));
  EXPECT_EQ(ReadAll(Data("/paper/thumb/A.png")), "PNG-A");
  EXPECT_EQ(ReadAll(Data("/template/T.qx3")), "template");
  EXPECT_EQ(tally.files, 2u);
  EXPECT_EQ(tally.failures, 0u);
  EXPECT_EQ(m_queue.StatusText(), "V=0&M=100");

  // Served URLs stay known until a job forgets them.
  RunOne("/paper/thumb/A.png", nullptr, false);
  EXPECT_EQ(m_server.Targets().size(), 3u);
  RunOne("/paper/thumb/A.png", nullptr, true);
  EXPECT_EQ(m_server.Targets().size(), 4u);
}

// What becomes of one entry: fetched from where, written where, tallied how.
// A listener on another loopback port stands for any other host the catalogue
// server could name; it must never be asked.
TEST_F(DownloadQueueTest, OnlyTheCatalogueServerIsAskedAndOnlyServedFilesWritten) {
  qbtest::TestHttpServer other;
  m_server.Answer("/ok.png", 200, "ok");
  m_server.Answer("/x/HTTP_LOGO.png", 200, "logo");
  m_server.Answer("/bare.png", 200, "bare");
  for (const char* path : {"/qkprint.db", "/verFile_DB.txt", "/New_verFile_DB.txt",
                           "/qkprint.db-journal", "/p.png.partial", "/run.sh", "/evil.zip"}) {
    m_server.Answer(path, 200, "junk");
  }
  other.Answer("/trap.png", 200, "trap");
  struct Row {
    const char* name;
    std::string url;
    DownloadQueue::SuccessCallback onSuccess;
    DownloadTally tally;               // files, failures, refused
    std::string target;                // asked of the catalogue server; empty: nothing
    std::string written;               // file below the data folder; empty: none
    std::vector<std::string> seen;
  };
  const std::string base = m_server.BaseUrl();
  const Row rows[] = {
      {"served file", "/ok.png", nullptr, {1, 0, 0}, "/ok.png", "/ok.png", {}},
      {"failed text entry: its callback decides", "/t/getUpdate?date=x", RecordText, {0, 0, 0},
       "/t/getUpdate?date=x", "", {"failed /t/getUpdate?date=x"}},
      {"failed file entry", "/missing.png", nullptr, {0, 1, 0}, "/missing.png", "", {}},
      {"failed zip with a callback is a file entry", "/sozai4/F/image.ZIP", RecordText, {0, 1, 0},
       "/sozai4/F/image.ZIP", "", {}},
      {"a name merely containing http is a server path", "/x/HTTP_LOGO.png", nullptr, {1, 0, 0},
       "/x/HTTP_LOGO.png", "/x/HTTP_LOGO.png", {}},
      {"a path without its slash stays on the server", "bare.png", nullptr, {1, 0, 0},
       "/bare.png", "/bare.png", {}},
      {"absolute URL on the catalogue server", base + "/ok.png", nullptr, {1, 0, 0}, "/ok.png",
       "/" + base.substr(0, 5) + base.substr(6) + "/ok.png", {}},
      {"absolute URL to another port", other.BaseUrl() + "/trap.png", nullptr, {0, 0, 1}, "", "",
       {}},
      {"absolute text entry to another port", other.BaseUrl() + "/trap.png?t", RecordText,
       {0, 0, 1}, "", "", {}},
      {"user information hiding another host", "http://127.0.0.1@" +
       other.BaseUrl().substr(7) + "/trap.png", nullptr, {0, 0, 1}, "", "", {}},
      {"path leaving the data folder", "/../../outside.png", nullptr, {0, 0, 1}, "", "", {}},
      {"the catalogue database", "/qkprint.db", nullptr, {0, 0, 1}, "", "", {}},
      {"its journal", "/qkprint.db-journal", nullptr, {0, 0, 1}, "", "", {}},
      {"the version file", "/verFile_DB.txt", nullptr, {0, 0, 1}, "", "", {}},
      {"the new version file", "/New_verFile_DB.txt", nullptr, {0, 0, 1}, "", "", {}},
      {"a download's temporary file", "/p.png.partial", nullptr, {0, 0, 1}, "", "", {}},
      {"a file type the catalogue does not serve", "/run.sh", nullptr, {0, 0, 1}, "", "", {}},
      {"a folder named like the database", "/qkprint.db/x.png", nullptr, {0, 0, 1}, "", "", {}},
  };
  qbtest::WriteFile(Data("/verFile_DB.txt"), "DBVER=1\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_seen.clear();
    const size_t before = m_server.Targets().size();
    const DownloadTally tally = RunOne(row.url, row.onSuccess);
    EXPECT_EQ(tally.files, row.tally.files);
    EXPECT_EQ(tally.failures, row.tally.failures);
    EXPECT_EQ(tally.refused, row.tally.refused);
    const std::vector<std::string> targets = m_server.Targets();
    EXPECT_EQ(std::vector<std::string>(targets.begin() + static_cast<std::ptrdiff_t>(before),
                                       targets.end()),
              row.target.empty() ? std::vector<std::string>{} : std::vector{row.target});
    if (!row.written.empty()) {
      EXPECT_TRUE(fs::is_regular_file(Data(row.written))) << row.written;
    }
    EXPECT_EQ(g_seen, row.seen);
    EXPECT_EQ(m_queue.Pending(), 0);
  }
  EXPECT_TRUE(other.Targets().empty());
  EXPECT_FALSE(fs::exists(m_home.Path() + "/outside.png"));
  EXPECT_FALSE(fs::exists(Data("/qkprint.db")));
  EXPECT_EQ(ReadAll(Data("/verFile_DB.txt")), "DBVER=1\n");
  for (const auto& entry : fs::recursive_directory_iterator(GetDataFolder())) {
    EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
  }
}

TEST_F(DownloadQueueTest, AFailedFileDownloadKeepsTheEarlierFile) {
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
    RunOne(row.url);
    EXPECT_EQ(ReadAll(Data(row.url)), row.content);
    EXPECT_FALSE(fs::exists(Data(row.url + kPartialSuffix)));
  }
}

TEST_F(DownloadQueueTest, ZipIsUnpackedNextToItselfAndRemoved) {
  qbtest::TempDir scratch;
  qbtest::WriteZip(scratch.Path() + "/image.zip",
                   {{"p1.png", "one"}, {"sub/p2.png", "two"}, {"qkprint.db", "junk"}});
  m_server.Answer("/sozai4/top001/image.zip", 200, ReadAll(scratch.Path() + "/image.zip"));
  const DownloadTally tally = RunOne("/sozai4/top001/image.zip", RecordText);
  EXPECT_EQ(ReadAll(Data("/sozai4/top001/p1.png")), "one");
  EXPECT_EQ(ReadAll(Data("/sozai4/top001/sub/p2.png")), "two");
  EXPECT_FALSE(fs::exists(Data("/sozai4/top001/qkprint.db")));
  EXPECT_FALSE(fs::exists(Data("/sozai4/top001/image.zip")));
  EXPECT_TRUE(g_seen.empty()) << "no callback for a file entry";
  EXPECT_EQ(tally.files, 1u);
}

TEST_F(DownloadQueueTest, AnArchiveCountsAsFetchedOnlyOnceUnpacked) {
  qbtest::TempDir scratch;
  qbtest::WriteZip(scratch.Path() + "/image.zip", {{"p1.png", "one"}, {"Thumbs.db", "x"}});
  const std::string intact = ReadAll(scratch.Path() + "/image.zip");
  m_server.Answer("/a/intact.zip", 200, intact);
  m_server.Answer("/a/cut.zip", 200, intact.substr(0, intact.size() / 2));
  m_server.Answer("/a/page.zip", 200, "<html><body>maintenance</body></html>");
  m_server.Answer("/a/gone.zip", 404, "");
  struct Row {
    const char* name;
    std::string url;
    DownloadTally tally;  // files, failures, refused
    bool stamped;         // marked as unpacked afterwards
  };
  const Row rows[] = {
      {"intact archive", "/a/intact.zip", {1, 0, 0}, true},
      {"archive cut short", "/a/cut.zip", {0, 1, 0}, false},
      {"a page instead of an archive", "/a/page.zip", {0, 1, 0}, false},
      {"failed download", "/a/gone.zip", {0, 1, 0}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::create_directories(Data("/a"));
    qbtest::WriteFile(UnpackedStampPath(Data(row.url)), "from an earlier fetch");
    const DownloadTally tally = RunOne(row.url);
    EXPECT_EQ(tally.files, row.tally.files);
    EXPECT_EQ(tally.failures, row.tally.failures);
    EXPECT_EQ(WasUnpacked(Data(row.url)), row.stamped);
    EXPECT_FALSE(fs::exists(Data(row.url)));
  }
  EXPECT_EQ(ReadAll(Data("/a/p1.png")), "one");
  EXPECT_FALSE(fs::exists(Data("/a/Thumbs.db")));
}

TEST_F(DownloadQueueTest, StatusFallsThenRisesWhenACallbackAddsFiles) {
  m_server.Answer("/a", 200, "a");
  m_server.Answer("/papers", 200, "records");
  m_server.Answer("/c", 200, "c");
  m_server.Answer("/pict/a.png", 200, "A");
  m_server.Answer("/pict/b.png", 200, "B");
  ScopedDownloadJob job(m_queue, true);
  job.Job().Enqueue("/a", RecordText, nullptr);
  job.Job().Enqueue("/papers", AddPictures, nullptr);
  job.Job().Enqueue("/c", RecordText, nullptr);
  EXPECT_EQ(job.Run().files, 2u);
  // The callbacks ran in queue order, whatever order the answers came in.
  EXPECT_EQ(g_seen, (std::vector<std::string>{"text /a a", "text /papers", "text /c c"}));
  // Seen while serving: 3 waiting, then 2, then 2 + 2 pictures; then /c and
  // the pictures not fetched yet (they start after /c, but may end first).
  ASSERT_EQ(g_pendingSeen.size(), 4u);
  EXPECT_EQ(std::vector<int>(g_pendingSeen.begin(), g_pendingSeen.begin() + 3),
            (std::vector<int>{3, 2, 4}));
  EXPECT_GE(g_pendingSeen[3], 1);
  EXPECT_LE(g_pendingSeen[3], 3);
  EXPECT_EQ(FilesInAnyOrder(m_server.Targets(), 0),
            (std::vector<std::string>{"/a", "/c", "/papers", "/pict/a.png", "/pict/b.png"}));
  EXPECT_EQ(m_queue.StatusText(), "V=0&M=100");
}

// A material request opening its job beside a running update: what the
// update queued stays queued and is served; a URL both wait for is fetched
// once and counted for both.
TEST_F(DownloadQueueTest, AJobNeverTakesAnotherJobsWorkAway) {
  for (const char* path : {"/u1.png", "/u2.png", "/shared.png", "/m1.png"}) {
    m_server.Answer(path, 200, path);
  }
  ScopedDownloadJob update(m_queue, true);
  update.Job().Enqueue("/u1.png", nullptr, nullptr);
  update.Job().Enqueue("/shared.png", nullptr, nullptr);
  {
    ScopedDownloadJob material(m_queue, true);  // forgets what was served, not what waits
    material.Job().Enqueue("/shared.png", nullptr, nullptr);
    material.Job().Enqueue("/m1.png", nullptr, nullptr);
    EXPECT_EQ(m_queue.Pending(), 3);
    const DownloadTally tally = material.Run();
    EXPECT_EQ(tally.files, 2u);
  }
  update.Job().Enqueue("/u2.png", nullptr, nullptr);
  EXPECT_EQ(update.Run().files, 3u);
  std::vector<std::string> targets = m_server.Targets();
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets.back(), "/u2.png");
  EXPECT_EQ(FilesInAnyOrder({targets.begin(), targets.end() - 1}, 0),
            (std::vector<std::string>{"/m1.png", "/shared.png", "/u1.png"}));
  // A job that ends before its entries were served drops them.
  {
    ScopedDownloadJob abandoned(m_queue, false);
    abandoned.Job().Enqueue("/never.png", nullptr, nullptr);
    EXPECT_EQ(m_queue.Pending(), 1);
  }
  EXPECT_EQ(m_queue.Pending(), 0);
}

// Like the product importer on a worker thread: each list adds its own two
// pictures and one that every list shares.
std::atomic<int> g_listsServed{0};

void AddOwnPictures(const std::string& url, const std::string&, DownloadJob& job) {
  ++g_listsServed;
  job.Enqueue(url + "a.png", nullptr, nullptr);
  job.Enqueue(url + "b.png", nullptr, nullptr);
  job.Enqueue("/shared.png", nullptr, nullptr);
}

// An update and a material request serving the one queue side by side while
// the status routes poll it.
using DownloadQueueConcurrency = DownloadQueueTest;

TEST_F(DownloadQueueConcurrency, TwoJobsAndAPollerServeEveryEntryOnce) {
  constexpr int kLists = 8;
  std::vector<std::string> expected{"/shared.png"};
  m_server.Answer("/shared.png", 200, "s");
  std::vector<std::string> lists[2];
  for (int i = 0; i < kLists; ++i) {
    const std::string list = "/list/" + std::to_string(i) + "/";
    m_server.Answer(list, 200, "records");
    m_server.Answer(list + "a.png", 200, "a");
    m_server.Answer(list + "b.png", 200, "b");
    lists[i % 2].push_back(list);
    expected.insert(expected.end(), {list, list + "a.png", list + "b.png"});
  }
  g_listsServed = 0;
  std::atomic<bool> done{false};
  std::vector<std::string> statuses;
  std::thread poller([&] {
    while (!done.load()) {
      statuses.push_back(m_queue.StatusText());
    }
  });
  DownloadTally tallies[2];
  auto run = [&](int n) {
    ScopedDownloadJob job(m_queue, false);
    for (const std::string& list : lists[n]) {
      job.Job().Enqueue(list, AddOwnPictures, RecordFailure);
    }
    tallies[n] = job.Run();
  };
  std::thread second(run, 1);
  run(0);
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
  // Each job counts its own pictures and the shared one.
  EXPECT_EQ(tallies[0].files, 2u * kLists / 2 + 1);
  EXPECT_EQ(tallies[1].files, 2u * kLists / 2 + 1);
  EXPECT_EQ(ReadAll(Data("/list/3/b.png")), "b");
  for (const std::string& status : statuses) {
    const int pending = std::stoi(status.substr(2));
    EXPECT_TRUE(status.starts_with("V=") && status.ends_with("&M=100")) << status;
    EXPECT_TRUE(pending >= 0 && pending <= static_cast<int>(expected.size())) << status;
  }
}

TEST_F(DownloadQueueConcurrency, OneUpdateAtATime) {
  std::atomic<int> running{0};
  std::atomic<int> ran{0};
  std::atomic<bool> release{false};
  auto update = [&] {
    ++running;
    ++ran;
    while (!release.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --running;
  };
  std::atomic<bool> secondRan{true};
  std::atomic<bool> secondReturned{false};
  std::thread first([&] { m_queue.RunUpdateAlone(update); });
  while (running.load() == 0) {
    std::this_thread::yield();
  }
  std::thread second([&] {
    secondRan = m_queue.RunUpdateAlone(update);
    secondReturned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(secondReturned.load()) << "the second waits for the first";
  release = true;
  first.join();
  second.join();
  EXPECT_FALSE(secondRan.load());
  EXPECT_EQ(ran.load(), 1);
  // Work between updates waits for none when none runs, and the next update
  // runs.
  bool worked = false;
  m_queue.RunBetweenUpdates([&] { worked = true; });
  EXPECT_TRUE(worked);
  EXPECT_TRUE(m_queue.RunUpdateAlone(update));
}

// Waits for `running` (a thread of the test) to return after the queue has
// been told of a stop. A wait that the stop does not reach would block for
// ever: the test then fails and ends the process.
void ReturnsAfterStop(std::future<void>& running, const char* what) {
  if (running.wait_for(std::chrono::minutes(2)) != std::future_status::ready) {
    ADD_FAILURE() << what << " still waits after the stop";
    std::_Exit(1);
  }
  running.get();
}

// Every place a thread can wait inside the queue while the server stops.
// Each must return once the stop is announced. A download in progress ends as
// failed (the big file takes minutes at the rate cap, so only the stop ends
// it); a thread waiting for an update returns without waiting for the
// update's own long step to end.
TEST_F(DownloadQueueConcurrency, AStopReachesEveryWait) {
  enum class Second { kNone, kWaitsForTheEntry, kWaitsForTheUpdate, kWaitsToMaintain };
  const std::pair<const char*, Second> rows[] = {
      {"a thread driving a transfer", Second::kNone},
      {"a thread waiting for an entry another drives", Second::kWaitsForTheEntry},
      {"an update waiting for the running one", Second::kWaitsForTheUpdate},
      {"work waiting for the running update", Second::kWaitsToMaintain},
  };
  for (const auto& [name, second] : rows) {
    SCOPED_TRACE(name);
    const bool downloads = second == Second::kNone || second == Second::kWaitsForTheEntry;
    qbtest::TestHttpServer server;
    ASSERT_TRUE(SetCatalogueBaseUrl(server.BaseUrl()));
    server.AnswerStreamed("/big.png", size_t{64} * 1024 * 1024, true);
    std::atomic<bool> stop{false};
    DownloadQueue queue(&stop);
    const auto queueBig = [](DownloadJob& job) { job.Enqueue("/big.png", nullptr, nullptr); };
    // The update's long step (an import, say) that only the test ends.
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> updating{false};
    DownloadTally driven;
    std::future<void> first = std::async(std::launch::async, [&] {
      queue.RunUpdateAlone([&] {
        updating = true;
        if (downloads) {
          driven = queue.Serve(true, queueBig);
        } else {
          released.wait();
        }
      });
    });
    while (downloads ? server.StreamedBytes() == 0 : !updating.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bool secondRan = false;
    std::future<void> other = std::async(std::launch::async, [&] {
      switch (second) {
        case Second::kNone:
          break;
        case Second::kWaitsForTheEntry:
          queue.Serve(false, queueBig);
          break;
        case Second::kWaitsForTheUpdate:
          secondRan = queue.RunUpdateAlone([] {});
          break;
        case Second::kWaitsToMaintain:
          queue.RunBetweenUpdates([&] { secondRan = true; });
          break;
      }
    });
    // Time for the second thread to start waiting; it returns as well when
    // the stop comes first.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = 1;
    queue.NotifyStop();
    ReturnsAfterStop(other, "the second thread");
    release.set_value();
    ReturnsAfterStop(first, "the first thread");
    EXPECT_FALSE(secondRan);
    if (downloads) {
      EXPECT_EQ(driven.failures, 1u) << "the stopped download is a failure";
      EXPECT_EQ(driven.files, 0u);
      EXPECT_FALSE(fs::exists(Data("/big.png")));
      EXPECT_FALSE(fs::exists(Data("/big.png") + kPartialSuffix));
      EXPECT_EQ(queue.Pending(), 0);
    }
  }
  ASSERT_TRUE(SetCatalogueBaseUrl(m_server.BaseUrl()));
}

TEST_F(DownloadQueueTest, StopFlagEndsTheRun) {
  m_server.Answer("/a.png", 200, "a");
  ScopedDownloadJob job(m_queue, true);
  job.Job().Enqueue("/a.png", nullptr, nullptr);
  m_stop = 1;
  job.Run();
  EXPECT_TRUE(m_server.Targets().empty());
  EXPECT_EQ(m_queue.Pending(), 1);
}

}  // namespace
}  // namespace qb
