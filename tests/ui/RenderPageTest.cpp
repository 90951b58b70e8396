#include <gtest/gtest.h>

#include <QPageLayout>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QTemporaryDir>

#include <QBuffer>

#include "output/CPrintSession.h"
#include "output/PageBands.h"
#include "output/PrintJob.h"
#include "output/RenderPage.h"
#include "ui/UiTestSupport.h"

namespace qb {
namespace {

// 100 x 100 page image: left half transparent, right half opaque red with a
// blue bottom-right quarter.
QImage QuarterImage() {
  QImage image(100, 100, QImage::Format_ARGB32);
  image.fill(qRgba(0, 255, 0, 0));
  for (int y = 0; y < 100; ++y) {
    for (int x = 50; x < 100; ++x) {
      image.setPixel(x, y, y < 50 ? qRgba(255, 0, 0, 255) : qRgba(0, 0, 255, 255));
    }
  }
  return image;
}

QImage Black() {
  QImage image(10, 10, QImage::Format_ARGB32);
  image.fill(qRgba(0, 0, 0, 255));
  return image;
}

// Prints one session of one page to a PDF at `dpi` and returns the PDF path.
std::string PrintToPdf(const QTemporaryDir& dir, int width, int height, int orientation,
                       const QImage& page, int dpi) {
  const std::string path = dir.filePath("out.pdf").toStdString();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  printer.setResolution(dpi);
  CPrintSession session("1", width, height, orientation, 1);
  Result<std::unique_ptr<CPrintPage>> decoded = CPrintPage::FromDataImage(qbtest::DataText(page));
  if (!decoded) {
    ADD_FAILURE() << "the page does not decode: " << decoded.Error();
    return path;
  }
  const Result<int> key = session.AddPage(std::move(*decoded));
  EXPECT_TRUE(key && *key == 0) << key.Error();
  PrintSession(&session, &printer, false);
  EXPECT_EQ(session.GetState(), CPrintSession::kDone);
  return path;
}

// The rasteriser rounds a page's partial last pixel up.
void ExpectSizeNear(QSize actual, QSize expected) {
  EXPECT_NEAR(actual.width(), expected.width(), 1);
  EXPECT_NEAR(actual.height(), expected.height(), 1);
}

bool Near(QRgb pixel, QRgb colour) {
  return std::abs(qRed(pixel) - qRed(colour)) < 40 && std::abs(qGreen(pixel) - qGreen(colour)) < 40 &&
         std::abs(qBlue(pixel) - qBlue(colour)) < 40;
}

TEST(RenderPage, TransparentPartsPrintWhiteAndTheImageFillsTheSheet) {
  QTemporaryDir dir;
  const std::string pdf = PrintToPdf(dir, 210, 297, 0, QuarterImage(), 600);
  const QImage page = qbtest::RasterisePdf(pdf, 1, 50);
  ASSERT_FALSE(page.isNull());
  ExpectSizeNear(page.size(), MmToDevice(210, 297, 50));
  const int w = page.width();
  const int h = page.height();
  struct Row {
    const char* name;
    QPoint at;
    QRgb colour;
  };
  const Row rows[] = {
      {"transparent top left", {2, 2}, qRgb(255, 255, 255)},
      {"transparent bottom left", {w / 4, h - 3}, qRgb(255, 255, 255)},
      {"red reaches the top right corner", {w - 2, 1}, qRgb(255, 0, 0)},
      {"blue reaches the bottom right corner", {w - 2, h - 2}, qRgb(0, 0, 255)},
      {"red above the middle", {w * 3 / 4, h / 2 - 20}, qRgb(255, 0, 0)},
      {"blue below the middle", {w * 3 / 4, h / 2 + 20}, qRgb(0, 0, 255)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(Near(page.pixel(row.at), row.colour)) << std::hex << page.pixel(row.at);
  }
}

TEST(RenderPage, A4At600DpiIs4961By7016DevicePixels) {
  // What is drawn covers exactly the W x H device rectangle.
  const QSize target = MmToDevice(210, 297, 600);
  ASSERT_EQ(target, QSize(4961, 7016));
  QPicture picture;
  QPainter painter(&picture);
  RenderPage(Black(), &painter, target.width(), target.height(), QRect(QPoint(0, 0), target), 0,
             0);
  painter.end();
  EXPECT_EQ(picture.boundingRect(), QRect(0, 0, 4961, 7016));

  // Printed, the image reaches the sheet's far corner at full resolution.
  QTemporaryDir dir;
  const std::string pdf = PrintToPdf(dir, 210, 297, 0, Black(), 600);
  const QImage corner = qbtest::RasterisePdf(pdf, 1, 600, QRect(4900, 6950, 200, 200));
  ASSERT_FALSE(corner.isNull());
  // The PDF sheet is A4 in whole points, within a few pixels of W x H.
  const QSize sheet = corner.size() + QSize(4900, 6950);
  EXPECT_NEAR(sheet.width(), target.width(), 3);
  EXPECT_NEAR(sheet.height(), target.height(), 3);
  EXPECT_TRUE(Near(corner.pixel(corner.width() - 3, corner.height() - 3), qRgb(0, 0, 0)));
}

TEST(RenderPage, NarrowerSheetIsCentredWithEqualMargins) {
  QTemporaryDir dir;
  // A 110 mm wide rendering on an A4 sheet: 50 mm white each side.
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const std::string path = dir.filePath("a4.pdf").toStdString();
  printer.setOutputFileName(QString::fromStdString(path));
  printer.setResolution(300);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setFullPage(true);
  QPainter painter(&printer);
  QImage image = Black();
  PremultiplyAlpha(&image);
  const QSize target = MmToDevice(110, 297, 300);
  RenderPage(image, &painter, target.width(), target.height(),
             QRect(QPoint(0, 0), printer.paperRect(QPrinter::DevicePixel).toRect().size()), 0, 0);
  painter.end();
  const QImage page = qbtest::RasterisePdf(path, 1, 100);
  ASSERT_FALSE(page.isNull());
  const int y = page.height() / 2;
  int left = 0;
  while (left < page.width() && qRed(page.pixel(left, y)) > 128) {
    ++left;
  }
  int right = 0;
  while (right < page.width() && qRed(page.pixel(page.width() - 1 - right, y)) > 128) {
    ++right;
  }
  EXPECT_NEAR(left, 50 / 25.4 * 100, 2);
  EXPECT_NEAR(left, right, 1);
}

TEST(RenderPage, LandscapeSessionsComeOutLandscape) {
  QTemporaryDir dir;
  struct Row {
    const char* name;
    int width, height;
  };
  const Row rows[] = {
      {"A4 with the landscape flag", 210, 297}, {"A4 given landscape", 297, 210},
      {"custom", 250, 120}, {"custom given portrait", 120, 250}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string pdf = PrintToPdf(dir, row.width, row.height, 1, QuarterImage(), 300);
    const QImage page = qbtest::RasterisePdf(pdf, 1, 50);
    ASSERT_FALSE(page.isNull());
    ExpectSizeNear(page.size(), MmToDevice(std::max(row.width, row.height),
                                           std::min(row.width, row.height), 50));
    EXPECT_TRUE(Near(page.pixel(page.width() - 2, 1), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(page.pixel(page.width() - 2, page.height() - 2), qRgb(0, 0, 255)));
  }
}

// A page image with something to see in every band: across the left half,
// dark bars eight rows high every sixteen rows, shifted by three rows so that
// bar edges fall both on band edges and inside bands; across the right half,
// colour and alpha gradients.
QImage BarredImage(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool bar = x < width / 2 && (y + 3) % 16 < 8;
      image.setPixel(x, y, bar ? qRgba(20, 20, 60, 255)
                               : qRgba((x * 255) / width, (y * 255) / height, 160,
                                       64 + (x * 191) / width));
    }
  }
  return image;
}

// Draws `image` on a PDF sheet of `sheetMm` at `dpi`, as one image laid on
// white (RenderPage) or in bands of `bandRows` rows of its PNG
// (RenderPageBands), and returns the page rasterised at `dpi`.
QImage DrawnPage(const QTemporaryDir& dir, const QImage& image, QSize sheetMm, int dpi,
                 int bandRows) {
  const std::string path =
      dir.filePath(QStringLiteral("drawn-%1.pdf").arg(bandRows)).toStdString();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  printer.setResolution(dpi);
  printer.setPageSize(QPageSize(QSizeF(sheetMm), QPageSize::Millimeter));
  printer.setFullPage(true);
  const QSize target = MmToDevice(sheetMm.width(), sheetMm.height(), dpi);
  const QRect page(QPoint(0, 0), printer.paperRect(QPrinter::DevicePixel).toRect().size());
  QPainter painter(&printer);
  if (bandRows == 0) {
    QImage whole = image;
    LayOnWhite(&whole);
    RenderPage(whole, &painter, target.width(), target.height(), page, 0, 0);
  } else {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    PageBands bands(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                    static_cast<size_t>(image.width()) * 4 * static_cast<size_t>(bandRows));
    EXPECT_TRUE(RenderPageBands(&bands, &painter, target.width(), target.height(), page, 0, 0));
  }
  painter.end();
  return qbtest::RasterisePdf(path, 1, dpi);
}

// The rows where the left half of `page` turns from light to dark or back.
std::vector<int> BarEdges(const QImage& page) {
  std::vector<int> edges;
  bool dark = false;
  for (int y = 0; y < page.height(); ++y) {
    int sum = 0;
    for (int x = page.width() / 8; x < page.width() * 3 / 8; ++x) {
      sum += qGray(page.pixel(x, y));
    }
    const bool rowDark = sum / (page.width() / 4) < 100;
    if (rowDark != dark) {
      edges.push_back(y);
      dark = rowDark;
    }
  }
  return edges;
}

TEST(RenderPage, APageDrawnInBandsPrintsAsTheWholeImage) {
  QTemporaryDir dir;
  struct Row {
    const char* name;
    QSize image;
    QSize sheetMm;
    int dpi;
    int bandRows;
  };
  const Row rows[] = {
      {"scaled up about 2.6 times, bands of 16 rows", {160, 200}, {70, 90}, 150, 16},
      {"about one image pixel a device pixel, bands of 48 rows", {591, 827}, {50, 70}, 300, 48},
      {"scaled down 2 times, bands of 32 rows", {1000, 1000}, {127, 127}, 100, 32},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QImage image = BarredImage(row.image.width(), row.image.height());
    const QImage whole = DrawnPage(dir, image, row.sheetMm, row.dpi, 0);
    const QImage banded = DrawnPage(dir, image, row.sheetMm, row.dpi, row.bandRows);
    ASSERT_FALSE(whole.isNull());
    ASSERT_EQ(banded.size(), whole.size());
    // Every bar edge lies where it lies in the whole image, give or take the
    // device row a rasteriser may round either way.
    const std::vector<int> wholeEdges = BarEdges(whole);
    const std::vector<int> bandedEdges = BarEdges(banded);
    ASSERT_EQ(bandedEdges.size(), wholeEdges.size());
    EXPECT_GE(wholeEdges.size(), static_cast<size_t>(row.image.height() / 8 - 2));
    for (size_t i = 0; i < wholeEdges.size(); ++i) {
      EXPECT_NEAR(bandedEdges[i], wholeEdges[i], 1) << "edge " << i;
    }
    // The gradients have the same colours, and no seam shows: no row of the
    // right half differs on average by more than a few levels.
    for (int y = 0; y < whole.height(); ++y) {
      int difference = 0;
      const int from = whole.width() * 5 / 8;
      const int to = whole.width() * 7 / 8;
      for (int x = from; x < to; ++x) {
        const QRgb a = whole.pixel(x, y);
        const QRgb b = banded.pixel(x, y);
        difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                      std::abs(qBlue(a) - qBlue(b));
      }
      ASSERT_LE(difference / (3 * (to - from)), 3) << "row " << y;
    }
  }
}

}  // namespace
}  // namespace qb
