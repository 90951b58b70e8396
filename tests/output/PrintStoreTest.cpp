#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <filesystem>

#include "TempDir.h"

#include "output/CPrintMgr.h"
#include "output/CPrintSession.h"
#include "output/DataImage.h"
#include "output/PrintLimits.h"

namespace qb {
namespace {

std::unique_ptr<CPrintPage> Page() {
  QImage image(3, 2, QImage::Format_ARGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  Result<std::unique_ptr<CPrintPage>> page =
      CPrintPage::FromDataImage("data:image/png;base64," + bytes.toBase64().toStdString());
  return page ? std::move(*page) : nullptr;
}

// The key AddPage gave, or -1 when it refused the page.
int Key(const Result<int>& added) { return added ? *added : -1; }

TEST(CPrintMgr, FindsSessionsByExactIdentifier) {
  CPrintMgr mgr;
  const auto one = mgr.Register(std::make_unique<CPrintSession>("1", 210, 297, 0, 1));
  ASSERT_NE(one, nullptr);
  // A second session with a known identifier is not registered.
  EXPECT_EQ(mgr.Register(std::make_unique<CPrintSession>("1", 1, 1, 0, 1)), one);
  EXPECT_EQ(mgr.SessionCount(), 1);
  EXPECT_EQ(mgr.Lookup("1"), one);
  EXPECT_EQ(mgr.Lookup("01"), nullptr);
  EXPECT_EQ(mgr.Lookup(""), nullptr);
  EXPECT_EQ(one->m_nWidth, 210);
}

TEST(CPrintSession, PagesAreKeyedInArrivalOrderAndLeaveWhenDone) {
  CPrintSession session("7", 210, 297, 0, 1);
  for (int key = 0; key < 3; ++key) {
    SCOPED_TRACE(key);
    std::unique_ptr<CPrintPage> page = Page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Key(session.AddPage(std::move(page))), key);
  }
  EXPECT_EQ(session.PageImage(2).size(), QSize(3, 2));
  EXPECT_TRUE(session.PageImage(3).isNull());
  const Result<int> started = session.StartPrinting();
  ASSERT_TRUE(started);
  EXPECT_EQ(*started, 3);
  EXPECT_EQ(session.GetState(), CPrintSession::kPrinting);
  // Not new any more: it does not start again.
  EXPECT_EQ(session.StartPrinting().Error(), "it is being printed already");
  EXPECT_EQ(session.GetState(), CPrintSession::kPrinting);
  // Pages arriving after the start are taken and kept until the end.
  EXPECT_EQ(Key(session.AddPage(Page())), 3);
  EXPECT_EQ(session.PageImage(3).size(), QSize(3, 2));
  session.Finish();
  EXPECT_EQ(session.GetState(), CPrintSession::kDone);
  EXPECT_EQ(session.PageCount(), 0);
  EXPECT_FALSE(session.EncodedPage(0));
  EXPECT_EQ(session.StartPrinting().Error(), "it has ended");
}

TEST(CPrintPage, RefusesWhatDoesNotDecodeAndKeepsOnlyTheEncodedBytes) {
  EXPECT_FALSE(CPrintPage::FromDataImage("data:image/png;base64,AAAA"));
  EXPECT_EQ(CPrintPage::FromDataImage("text").Error(), "not a data image");
  const std::unique_ptr<CPrintPage> page = Page();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Encoded().substr(1, 3), "PNG");
  EXPECT_EQ(page->DecodeImage().pixel(0, 0), qRgba(255, 0, 0, 255));
}

TEST(CPrintSession, RefusesPagesPastItsLimitsAtTheEdges) {
  {
    CPrintSession session("p", 210, 297, 0, 1);
    for (int i = 0; i < kMaxSessionPages; ++i) {
      ASSERT_EQ(Key(session.AddPage(std::make_unique<CPrintPage>("x"))), i);
    }
    const Result<int> refused = session.AddPage(std::make_unique<CPrintPage>("x"));
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.Error(), "");
  }
  {
    CPrintSession session("b", 210, 297, 0, 1);
    EXPECT_EQ(
        Key(session.AddPage(std::make_unique<CPrintPage>(std::string(kMaxSessionBytes - 1, 'x')))),
        0);
    EXPECT_EQ(Key(session.AddPage(std::make_unique<CPrintPage>("x"))), 1);  // exactly at the cap
    EXPECT_EQ(Key(session.AddPage(std::make_unique<CPrintPage>("x"))), -1);
    EXPECT_EQ(session.PageBytes(), kMaxSessionBytes);
    // All sessions together: a second full session reaches the total, a
    // third byte passes it.
    CPrintSession second("c", 210, 297, 0, 1);
    EXPECT_EQ(Key(second.AddPage(std::make_unique<CPrintPage>(
                  std::string(kMaxStoredPageBytes - kMaxSessionBytes, 'x')))), 0);
    CPrintSession third("d", 210, 297, 0, 1);
    EXPECT_EQ(Key(third.AddPage(std::make_unique<CPrintPage>("x"))), -1);
    session.Finish();  // a finished session gives its bytes back
    EXPECT_EQ(Key(third.AddPage(std::make_unique<CPrintPage>("x"))), 0);
  }
  EXPECT_EQ(StoredPageBytes(), 0u);
}

TEST(CPrintMgr, BoundsOpenSessionsAndExpiresIdleOnes) {
  CPrintMgr mgr;
  std::vector<CPrintMgr::SessionPtr> sessions;
  for (int i = 0; i < kMaxOpenSessions; ++i) {
    sessions.push_back(mgr.Register(std::make_unique<CPrintSession>(std::to_string(i), 1, 1, 0, 1)));
    ASSERT_NE(sessions.back(), nullptr);
  }
  EXPECT_EQ(mgr.Register(std::make_unique<CPrintSession>("over", 1, 1, 0, 1)), nullptr);
  sessions[0]->Finish();  // an ended session is no longer open
  EXPECT_NE(mgr.Register(std::make_unique<CPrintSession>("room", 1, 1, 0, 1)), nullptr);

  ASSERT_EQ(Key(sessions[1]->AddPage(Page())), 0);
  ASSERT_EQ(sessions[2]->StartPrinting().value_or(-1), 0);  // a session being printed does not expire
  sessions[3]->MarkPosted();                   // nor one waiting for its print job
  const auto now = CPrintSession::Clock::now();
  mgr.ExpireIdle(now, std::chrono::hours(1));
  EXPECT_EQ(sessions[1]->GetState(), CPrintSession::kNew);
  mgr.ExpireIdle(now + std::chrono::hours(1), std::chrono::hours(1));
  EXPECT_EQ(sessions[1]->GetState(), CPrintSession::kDone);
  EXPECT_EQ(sessions[1]->PageCount(), 0);
  EXPECT_EQ(sessions[2]->GetState(), CPrintSession::kPrinting);
  EXPECT_EQ(sessions[3]->GetState(), CPrintSession::kNew);
  EXPECT_EQ(StoredPageBytes(), 0u);
}

// However a session ends, its pages leave the all-sessions budget at once, and
// pages that arrive after the end are accepted without being kept.
TEST(CPrintSession, EveryEndGivesThePagesBackToTheBudget) {
  struct Row {
    const char* name;
    void (*end)(CPrintSession&);
  };
  const Row rows[] = {
      {"finished while new", [](CPrintSession& s) { s.Finish(); }},
      {"finished after the job started",
       [](CPrintSession& s) {
         EXPECT_TRUE(s.StartPrinting());
         s.Finish();
       }},
      {"expired", [](CPrintSession& s) {
         EXPECT_EQ(s.ExpireIfIdle(CPrintSession::Clock::now() + std::chrono::hours(1),
                                  std::chrono::minutes(1)),
                   2);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CPrintSession session("e", 210, 297, 0, 1);
    ASSERT_EQ(Key(session.AddPage(Page())), 0);
    ASSERT_EQ(Key(session.AddPage(Page())), 1);
    ASSERT_GT(StoredPageBytes(), 0u);
    EXPECT_FALSE(session.EndedAt());
    row.end(session);
    EXPECT_EQ(session.GetState(), CPrintSession::kDone);
    EXPECT_EQ(StoredPageBytes(), 0u);
    const auto ended = session.EndedAt();
    ASSERT_TRUE(ended);
    const Result<int> late = session.AddPage(Page());
    ASSERT_TRUE(late);
    EXPECT_EQ(*late, CPrintSession::kDroppedPage);
    EXPECT_EQ(session.PageCount(), 0);
    EXPECT_EQ(StoredPageBytes(), 0u);
    session.Finish();
    EXPECT_EQ(session.EndedAt(), ended);  // ending again does not move the end
  }
}

// Ended sessions stay findable for a while, then leave the manager: the
// oldest beyond the count bound at the next registration, every one after the
// time bound. Whoever still holds one keeps a valid session.
TEST(CPrintMgr, EndedSessionsLeaveAfterACountOrATime) {
  CPrintMgr mgr;
  const int ended = static_cast<int>(CPrintMgr::kMaxEndedSessions) + 5;
  const CPrintMgr::SessionPtr first = mgr.Register(std::make_unique<CPrintSession>("0", 1, 1, 0, 1));
  ASSERT_NE(first, nullptr);
  first->Finish();
  for (int i = 1; i < ended; ++i) {
    const auto session =
        mgr.Register(std::make_unique<CPrintSession>(std::to_string(i), 1, 1, 0, 1));
    ASSERT_NE(session, nullptr) << i;
    session->Finish();
  }
  const auto open = mgr.Register(std::make_unique<CPrintSession>("open", 1, 1, 0, 1));
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(mgr.SessionCount(), static_cast<int>(CPrintMgr::kMaxEndedSessions) + 1);
  EXPECT_EQ(mgr.OpenSessionCount(), 1);
  for (int i = 0; i < ended; ++i) {
    SCOPED_TRACE(i);
    // The five that ended first are gone, the rest are found.
    EXPECT_EQ(mgr.Lookup(std::to_string(i)) == nullptr, i < 5);
  }
  EXPECT_EQ(first->GetState(), CPrintSession::kDone);  // still valid for its holder

  const auto now = CPrintSession::Clock::now();
  mgr.ExpireIdle(now + CPrintMgr::kEndedSessionKeep - std::chrono::minutes(1),
                 std::chrono::hours(24));
  EXPECT_EQ(mgr.SessionCount(), static_cast<int>(CPrintMgr::kMaxEndedSessions) + 1);
  mgr.ExpireIdle(now + CPrintMgr::kEndedSessionKeep, std::chrono::hours(24));
  EXPECT_EQ(mgr.SessionCount(), 1);
  EXPECT_EQ(mgr.Lookup("open"), open);
}

// A flat PNG of `width` x `height`: small encoded, large decoded.
std::string FlatPng(int width, int height) {
  QImage image(width, height, QImage::Format_Mono);
  image.fill(0);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// The descriptors of this process that lead to files in `folder`, and where.
std::vector<std::pair<int, std::string>> FilesOpenIn(const std::string& folder) {
  std::vector<std::pair<int, std::string>> open;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.rfind(folder + "/", 0) == 0) {
      open.emplace_back(std::stoi(entry.path().filename().string()), target);
    }
  }
  return open;
}

TEST(CPrintSession, KeepsItsPagesInAnUnnamedPrivateFileThatGoesWithThem) {
  qbtest::TempDir temp;
  const qbtest::ScopedEnv tmpdir("TMPDIR", temp.Path());
  CPrintSession session("f", 210, 297, 0, 1);
  EXPECT_TRUE(FilesOpenIn(temp.Path()).empty());  // no file before the first page
  const std::string large(3 << 20, 'z');
  EXPECT_EQ(Key(session.AddPage(Page())), 0);
  EXPECT_EQ(Key(session.AddPage(std::make_unique<CPrintPage>(large))), 1);
  EXPECT_EQ(Key(session.AddPage(Page())), 2);
  const auto open = FilesOpenIn(temp.Path());
  ASSERT_EQ(open.size(), 1u);
  EXPECT_NE(open[0].second.find("(deleted)"), std::string::npos) << open[0].second;
  struct stat facts {};
  ASSERT_EQ(::fstat(open[0].first, &facts), 0);
  EXPECT_EQ(facts.st_mode & 0777, 0600u);
  EXPECT_GE(facts.st_size, static_cast<off_t>(large.size()));
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));  // nothing has a name there
  // The pages come back as they were sent.
  EXPECT_EQ(*session.EncodedPage(1), large);
  EXPECT_EQ(*session.EncodedPage(2), Page()->Encoded());
  EXPECT_EQ(session.PageImage(0).pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_FALSE(session.EncodedPage(3));
  EXPECT_EQ(session.PageBytes(), 2 * Page()->Encoded().size() + large.size());
  session.Finish();
  EXPECT_TRUE(FilesOpenIn(temp.Path()).empty());
  EXPECT_EQ(StoredPageBytes(), 0u);
}

TEST(CPrintSession, KeepsItsPagesInMemoryWhenNoFileCanBeMade) {
  const qbtest::ScopedEnv tmpdir("TMPDIR", std::string("/nonexistent/quillbox-pages"));
  CPrintSession session("n", 210, 297, 0, 1);
  EXPECT_EQ(Key(session.AddPage(Page())), 0);
  EXPECT_EQ(Key(session.AddPage(std::make_unique<CPrintPage>("second"))), 1);
  EXPECT_EQ(session.PageImage(0).pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(*session.EncodedPage(1), "second");
  EXPECT_EQ(session.PageBytes(), Page()->Encoded().size() + 6);
  EXPECT_EQ(StoredPageBytes(), session.PageBytes());
  session.Finish();
  EXPECT_EQ(StoredPageBytes(), 0u);
}

TEST(CheckPageImage, AdmitsAnA4PageAt600DpiAndRefusesLargerOnesByTheirHeader) {
  struct Row {
    const char* name;
    int width;
    int height;
    bool admitted;
  };
  const Row rows[] = {
      {"A4 at 600 dpi", 4961, 7016, true},
      {"exactly the pixel limit", 6000, 6000, true},
      {"one row over the pixel limit", 6000, 6001, false},
      {"wider than a side may be", kMaxPageSide + 1, 1, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(CheckPageImage(FlatPng(row.width, row.height)).empty(), row.admitted);
  }
}

}  // namespace
}  // namespace qb
