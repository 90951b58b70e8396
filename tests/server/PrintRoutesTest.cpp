#include <gtest/gtest.h>

#include <QBuffer>
#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "output/CPrintSession.h"
#include "output/CQxSaveSession.h"
#include "server/Dispatcher.h"

namespace qb {
namespace {

// Records what the dispatcher posts instead of running it.
class FakeWindow : public CControlWindow {
 public:
  void PostPrint(std::shared_ptr<CPrintSession> session) override {
    m_prints.push_back(std::move(session));
  }
  void PostSave(std::unique_ptr<CQxSaveSession> session) override {
    m_saves.push_back(std::move(session));
  }
  std::vector<std::shared_ptr<CPrintSession>> m_prints;
  std::vector<std::unique_ptr<CQxSaveSession>> m_saves;
};

std::string Post(CAppData* app, const std::string& target, const std::string& body) {
  CReqParse parse;
  parse.Parse("POST " + target + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\n\r\n" + body);
  return BuildAnswer(app, &parse);
}

std::string Body(const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); }

std::string PngText(int green = 255) {
  QImage image(4, 4, QImage::Format_ARGB32);
  image.fill(qRgba(0, green, 0, 100));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return "data:image/png;base64," + bytes.toBase64().toStdString();
}

class PrintRoutes : public testing::Test {
 protected:
  void SetUp() override { m_app.SetControlWindow(&m_window); }
  std::string Init(const std::string& body) { return Body(Post(&m_app, "/print/init", body)); }

  CAppData m_app;
  FakeWindow m_window;
  const std::string m_ok = SuccessAnswer("");
  const std::string m_error{kServerErrorAnswer};
};

TEST_F(PrintRoutes, InitReadsTheSettingsAndAnswersTheIdentifier) {
  const std::string id = Init("width=210&height=297&orientation=1&printCopies=2");
  const auto session = m_app.PrintSessions().Lookup(id);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->m_nWidth, 210);
  EXPECT_EQ(session->m_nHeight, 297);
  EXPECT_EQ(session->m_nOrientation, 1);
  EXPECT_EQ(session->m_nCopies, 2);
  EXPECT_EQ(session->GetState(), CPrintSession::kNew);

  const auto bare = m_app.PrintSessions().Lookup(Init(""));
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->m_nWidth, 0);
  EXPECT_EQ(bare->m_nCopies, 0);
  const auto odd = m_app.PrintSessions().Lookup(Init("width=12mm&height=x&printCopies=-3"));
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->m_nWidth, 12);
  EXPECT_EQ(odd->m_nHeight, 0);
  EXPECT_EQ(odd->m_nCopies, -3);
  EXPECT_EQ(std::stoull(Init("")), std::stoull(id) + 3);
}

TEST_F(PrintRoutes, AddStoresPagesKeyedInOrder) {
  const std::string id = Init("width=210&height=297");
  for (int key = 0; key < 3; ++key) {
    EXPECT_EQ(Post(&m_app, "/print/add", "id=" + id + "&img=" + PngText()), m_ok);
  }
  const auto session = m_app.PrintSessions().Lookup(id);
  EXPECT_EQ(session->PageCount(), 3);
  for (unsigned key = 0; key < 3; ++key) {
    EXPECT_EQ(session->PageImage(key).size(), QSize(4, 4));
  }
}

TEST_F(PrintRoutes, FailedAddOrEndAnswersTheServerErrorAndChangesNothing) {
  const std::string id = Init("width=210&height=297");
  ASSERT_EQ(Post(&m_app, "/print/add", "id=" + id + "&img=" + PngText()), m_ok);
  struct Row {
    const char* name;
    const char* path;
    std::string body;
  };
  const Row rows[] = {
      {"unknown id", "/print/add", "id=999999&img=" + PngText()},
      {"id compared exactly", "/print/add", "id=0" + id + "&img=" + PngText()},
      {"id missing", "/print/add", "img=" + PngText()},
      {"img missing", "/print/add", "id=" + id},
      {"img does not decode", "/print/add", "id=" + id + "&img=data:image/png;base64,AAAA"},
      {"img without data prefix", "/print/add", "id=" + id + "&img=image/png;base64,AAAA"},
      {"end: unknown id", "/print/end", "id=x" + id},
      {"end: id missing", "/print/end", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Post(&m_app, row.path, row.body), m_error);
    EXPECT_EQ(m_app.PrintSessions().Lookup(id)->PageCount(), 1);
    EXPECT_TRUE(m_window.m_prints.empty());
  }
}

TEST_F(PrintRoutes, EndPostsTheSessionWhichStaysRegistered) {
  const std::string id = Init("width=210&height=297");
  EXPECT_EQ(Post(&m_app, "/print/end", "id=" + id), m_ok);
  ASSERT_EQ(m_window.m_prints.size(), 1u);
  EXPECT_EQ(m_window.m_prints[0], m_app.PrintSessions().Lookup(id));
}

TEST_F(PrintRoutes, SavePostsACopyOfTheUploadWithItsName) {
  const std::string document("%PDF-1.4\0binary\r\n\r\nbytes", 25);
  EXPECT_EQ(Post(&m_app, "/saveqx/save?name=report.pdf", document), m_ok);
  ASSERT_EQ(m_window.m_saves.size(), 1u);
  const CQxSaveSession& save = *m_window.m_saves[0];
  EXPECT_EQ(std::string(save.Data(), save.Size()), document);
  EXPECT_EQ(save.GetName(), "report.pdf");
  // The upload took an identifier of the shared counter.
  EXPECT_EQ(std::stoull(Init("")), std::stoull(save.m_strId) + 1);

  // Nothing to store: no success, and nothing is posted.
  CReqParse parse;
  parse.Parse("POST /saveqx/save HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_NE(BuildAnswer(&m_app, &parse), m_ok);
  EXPECT_EQ(m_window.m_saves.size(), 1u);
}

// Many connections add to one session while the print job, on the UI thread,
// starts and reads its pages.
using PrintRoutesConcurrency = PrintRoutes;

TEST_F(PrintRoutesConcurrency, PagesFromManyThreadsLandOnceEachWhileTheJobReads) {
  constexpr int kThreads = 8;
  constexpr int kEach = 6;
  const std::string id = Init("width=210&height=297");
  const auto session = m_app.PrintSessions().Lookup(id);
  ASSERT_NE(session, nullptr);
  std::vector<std::string> bodies;  // one page colour per thread
  for (int t = 0; t < kThreads; ++t) {
    bodies.push_back("id=" + id + "&img=" + PngText(10 * t));
  }
  std::vector<std::string> answers(kThreads * kEach);
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        answers[t * kEach + i] = Post(&m_app, "/print/add", bodies[t]);
      }
    });
  }
  std::atomic<bool> sent{false};
  std::thread job([&] {
    EXPECT_TRUE(session->StartPrinting());
    while (!sent.load()) {
      const int count = session->PageCount();
      if (count > 0) {
        EXPECT_EQ(session->PageImage(static_cast<unsigned>(count - 1)).size(), QSize(4, 4));
      }
    }
  });
  for (std::thread& sender : senders) {
    sender.join();
  }
  sent = true;
  job.join();

  EXPECT_EQ(answers, std::vector<std::string>(answers.size(), m_ok));
  ASSERT_EQ(session->PageCount(), kThreads * kEach);
  std::map<int, int> pagesPerColour;
  for (int key = 0; key < kThreads * kEach; ++key) {
    const QImage page = session->PageImage(static_cast<unsigned>(key));
    ASSERT_EQ(page.size(), QSize(4, 4)) << key;
    ++pagesPerColour[qGreen(page.pixel(0, 0))];
  }
  std::map<int, int> expected;
  for (int t = 0; t < kThreads; ++t) {
    expected[10 * t] = kEach;
  }
  EXPECT_EQ(pagesPerColour, expected);
  session->Finish();
  EXPECT_EQ(session->PageCount(), 0);
}

TEST(CQxSaveSession, SetDataStoresACopyOrNothing) {
  CQxSaveSession session("1");
  session.SetName("kept?");
  EXPECT_TRUE(session.SetData("abc", 3));
  EXPECT_EQ(session.GetName(), "");  // the data comes first, then the name
  EXPECT_EQ(std::string(session.Data(), session.Size()), "abc");
  EXPECT_FALSE(session.SetData("abc", 0));
  EXPECT_EQ(session.Data(), nullptr);
  EXPECT_FALSE(session.SetData(nullptr, 3));
  EXPECT_FALSE(session.SetData("abc", -1));
  EXPECT_EQ(session.Size(), 0u);
}

}  // namespace
}  // namespace qb
