#include <gtest/gtest.h>

#include "output/PaperSize.h"
#include "output/RenderPage.h"

namespace qb {
namespace {

TEST(PrintGeometry, MmToDeviceRoundsHalfAwayFromZero) {
  struct Row {
    int width, height, dpi;
    QSize size;
  };
  const Row rows[] = {
      {210, 297, 600, {4961, 7016}},
      {210, 297, 1200, {9921, 14031}},
      {210, 297, 300, {2480, 3508}},
      {127, 254, 100, {500, 1000}},  // exact values stay
      {0, 0, 600, {0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << "@" << row.dpi);
    EXPECT_EQ(MmToDevice(row.width, row.height, row.dpi), row.size);
  }
}

TEST(PrintGeometry, CentreSheetFollowsTheCentringRule) {
  struct Row {
    const char* name;
    int width, height;
    QRect page;
    int offsetX, offsetY;
    QRect source;
    QPoint target;
  };
  const Row rows[] = {
      {"same size", 100, 200, QRect(0, 0, 100, 200), 0, 0, QRect(0, 0, 100, 200), QPoint(0, 0)},
      {"sheet larger: its middle fills the page", 110, 220, QRect(0, 0, 100, 200), 0, 0,
       QRect(5, 10, 100, 200), QPoint(0, 0)},
      {"page wider: equal margins left and right", 100, 200, QRect(0, 0, 120, 200), 0, 0,
       QRect(0, 0, 100, 200), QPoint(10, 0)},
      {"odd difference rounds toward zero", 100, 200, QRect(0, 0, 103, 197), 0, 0,
       QRect(0, 1, 101, 197), QPoint(1, 0)},
      {"physical offsets shift the target", 100, 200, QRect(0, 0, 100, 200), 7, 9,
       QRect(0, 0, 100, 200), QPoint(-7, -9)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const SheetBlock block = CentreSheet(row.width, row.height, row.page, row.offsetX, row.offsetY);
    EXPECT_EQ(block.source, row.source);
    EXPECT_EQ(block.target, row.target);
  }
}

TEST(PrintGeometry, PremultiplyAlphaScalesColoursOfTranslucentPixels) {
  struct Row {
    const char* name;
    QRgb in;
    QRgb out;
  };
  const Row rows[] = {
      {"opaque unchanged", qRgba(200, 100, 50, 255), qRgba(200, 100, 50, 255)},
      {"half", qRgba(255, 100, 1, 128), qRgba(128, 50, 1, 128)},
      {"transparent", qRgba(255, 255, 255, 0), qRgba(0, 0, 0, 0)},
      {"rounding", qRgba(255, 3, 0, 1), qRgba(1, 0, 0, 1)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, row.in);
    PremultiplyAlpha(&image);
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(reinterpret_cast<const QRgb*>(image.constScanLine(0))[0], row.out);
  }
  QImage gray(1, 1, QImage::Format_Grayscale8);
  gray.fill(7);
  PremultiplyAlpha(&gray);
  EXPECT_EQ(gray.format(), QImage::Format_Grayscale8);
}

TEST(PrintGeometry, PaperSizesMapToStandardSheetsOrExactCustomSizes) {
  struct Row {
    int width, height, code;
    QPageSize::PageSizeId id;
  };
  const Row rows[] = {
      {297, 420, 8, QPageSize::A3},         {210, 297, 9, QPageSize::A4},
      {148, 210, 11, QPageSize::A5},        {105, 148, 70, QPageSize::A6},
      {250, 354, 12, QPageSize::JisB4},     {182, 257, 13, QPageSize::JisB5},
      {128, 182, 88, QPageSize::JisB6},     {100, 148, 43, QPageSize::Postcard},
      {420, 594, 66, QPageSize::A2},        {420, 295, 0, QPageSize::Custom},
      {297, 210, 0, QPageSize::A4},         {200, 300, 0, QPageSize::Custom},
      {300, 200, 0, QPageSize::Custom},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
    EXPECT_EQ(PaperSizeCode(row.width, row.height), row.code);
    const QPageSize size = PageSizeFor(row.width, row.height);
    EXPECT_EQ(size.id(), row.id);
    if (row.id == QPageSize::Custom) {
      EXPECT_EQ(size.size(QPageSize::Millimeter),
                QSizeF(std::min(row.width, row.height), std::max(row.width, row.height)));
    }
  }
  EXPECT_FALSE(PageSizeFor(0, 297).isValid());
  EXPECT_FALSE(IsLandscape(210, 297, 0));
  EXPECT_TRUE(IsLandscape(210, 297, 1));
  EXPECT_TRUE(IsLandscape(297, 210, 0));
  EXPECT_FALSE(IsLandscape(100, 100, 0));
}

}  // namespace
}  // namespace qb
