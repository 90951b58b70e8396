#include <gtest/gtest.h>

#include <QBuffer>

#include "output/CDataMap.h"
#include "output/CPrintMgr.h"
#include "output/CPrintSession.h"

namespace qb {
namespace {

struct Counted {
  explicit Counted(int* deleted) : m_pDeleted(deleted) {}
  virtual ~Counted() { ++*m_pDeleted; }
  int* m_pDeleted;
};

TEST(CDataMap, KeepsInsertionOrderAndOwnsItsValues) {
  int deleted = 0;
  {
    CDataMap<std::string, Counted> map;
    EXPECT_EQ(map.SetAt("1", std::make_unique<Counted>(&deleted)), 0);
    EXPECT_EQ(map.SetAt("01", std::make_unique<Counted>(&deleted)), 1);
    EXPECT_EQ(map.SetAt("a", nullptr), 2);
    // An equal key replaces the value in place, deleting the old one.
    EXPECT_EQ(map.SetAt("1", std::make_unique<Counted>(&deleted)), 0);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(map.Count(), 3);
    // Text keys compare exactly.
    EXPECT_EQ(map.IndexOf("01"), 1);
    EXPECT_EQ(map.IndexOf("A"), -1);
    EXPECT_EQ(map.IndexOf("1 "), -1);
    Counted fallback(&deleted);
    EXPECT_EQ(map.Lookup("x", &fallback), &fallback);
    EXPECT_EQ(map.Lookup("a", &fallback), nullptr);
    map.RemoveAll();
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(map.Count(), 0);
    EXPECT_EQ(map.SetAt("b", std::make_unique<Counted>(&deleted)), 0);
  }
  EXPECT_EQ(deleted, 5);  // the destructor empties the map; `fallback` ended too
}

std::unique_ptr<CPrintPage> Page() {
  QImage image(3, 2, QImage::Format_ARGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return CPrintPage::FromDataImage("data:image/png;base64," + bytes.toBase64().toStdString());
}

TEST(CPrintMgr, FindsSessionsByExactIdentifier) {
  CPrintMgr mgr;
  CPrintSession* one = mgr.Register(std::make_unique<CPrintSession>("1", 210, 297, 0, 1));
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
    EXPECT_EQ(session.AddPage(std::move(page)), key);
  }
  EXPECT_EQ(session.PageImage(2).size(), QSize(3, 2));
  EXPECT_TRUE(session.PageImage(3).isNull());
  EXPECT_EQ(session.StartPrinting(), 3);
  EXPECT_EQ(session.GetState(), CPrintSession::kPrinting);
  EXPECT_EQ(session.StartPrinting(), -1);  // not new any more
  // Pages arriving after the start are taken and kept until the end.
  EXPECT_EQ(session.AddPage(Page()), 3);
  session.Finish();
  EXPECT_EQ(session.GetState(), CPrintSession::kDone);
  EXPECT_EQ(session.PageCount(), 0);
}

TEST(CPrintPage, RefusesWhatDoesNotDecodeAndKeepsOnlyTheEncodedBytes) {
  EXPECT_EQ(CPrintPage::FromDataImage("data:image/png;base64,AAAA"), nullptr);
  EXPECT_EQ(CPrintPage::FromDataImage("text"), nullptr);
  const std::unique_ptr<CPrintPage> page = Page();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Encoded().substr(1, 3), "PNG");
  EXPECT_EQ(page->DecodeImage().pixel(0, 0), qRgba(255, 0, 0, 255));
}

}  // namespace
}  // namespace qb
