#include "output/PageBands.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>

#include "output/DataImage.h"
#include "output/PngRowDecoder.h"

namespace qb {
namespace {

std::string Bytes(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format)) << format;
  return bytes.toStdString();
}

// 37 x 23 pixels of every colour channel and alpha value in turn.
QImage Varied(QImage::Format format) {
  QImage image(37, 23, QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int v = (x * 23 + y * 37) % 256;
      image.setPixel(x, y, qRgba(v, 255 - v, (v * 7) % 256, (x * 11 + y) % 256));
    }
  }
  return image.convertToFormat(format);
}

// A palette image with transparent entries.
QImage Palette() {
  QImage image(19, 9, QImage::Format_Indexed8);
  image.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 128), qRgba(0, 0, 255, 0),
                       qRgba(10, 20, 30, 255)});
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      image.setPixel(x, y, static_cast<uint>((x + y) % 4));
    }
  }
  return image;
}

TEST(PageBands, HandsOutInBandsWhatAWholeDecodeGives) {
  struct Row {
    const char* name;
    std::string bytes;
    bool streamed;
  };
  const Row rows[] = {
      {"PNG with alpha", Bytes(Varied(QImage::Format_ARGB32), "PNG"), true},
      {"PNG without alpha", Bytes(Varied(QImage::Format_RGB32), "PNG"), true},
      {"grey PNG", Bytes(Varied(QImage::Format_Grayscale8), "PNG"), true},
      {"palette PNG with transparent entries", Bytes(Palette(), "PNG"), true},
      {"two-colour PNG", Bytes(Varied(QImage::Format_Mono), "PNG"), true},
      {"16-bit PNG", Bytes(Varied(QImage::Format_RGBA64), "PNG"), false},
      {"JPEG", Bytes(Varied(QImage::Format_RGB32), "JPEG"), false},
      {"BMP", Bytes(Varied(QImage::Format_ARGB32), "BMP"), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PngRowDecoder(row.bytes).Streams(), row.streamed);
    QImage whole = LoadImageBytes(row.bytes);
    ASSERT_FALSE(whole.isNull());
    whole.convertTo(QImage::Format_ARGB32);
    // Bands of 16 rows (the least a band has); the last one shorter.
    PageBands bands(row.bytes, static_cast<size_t>(whole.width()) * 4 * 5);
    ASSERT_EQ(bands.Size(), whole.size());
    int top = 0;
    for (QImage band = bands.Next(); !band.isNull(); band = bands.Next()) {
      ASSERT_EQ(band.format(), QImage::Format_ARGB32);
      EXPECT_EQ(band.height(), std::min(16, whole.height() - top));
      for (int y = 0; y < band.height(); ++y) {
        for (int x = 0; x < band.width(); ++x) {
          ASSERT_EQ(band.pixel(x, y), whole.pixel(x, top + y)) << x << ", " << top + y;
        }
      }
      top += band.height();
    }
    EXPECT_EQ(top, whole.height());
  }
}

TEST(CheckPageImage, RefusesAPngBrokenInItsImageDataAsTheWholeDecodeDoes) {
  const std::string good = Bytes(Varied(QImage::Format_ARGB32), "PNG");
  ASSERT_EQ(CheckPageImage(good), "");
  const size_t data = good.find("IDAT");
  ASSERT_NE(data, std::string::npos);
  struct Row {
    const char* name;
    std::string bytes;
  };
  std::string flipped = good;
  flipped[data + 40] = static_cast<char>(flipped[data + 40] ^ 0x5a);
  const Row rows[] = {
      {"cut in the image data", good.substr(0, data + 60)},
      {"a damaged byte in the image data", flipped},
      {"no chunk after the image data", good.substr(0, good.find("IEND") - 4)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QByteArray bytes = QByteArray::fromStdString(row.bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const bool decodes = !reader.read().isNull();
    EXPECT_EQ(CheckPageImage(row.bytes),
              decodes ? std::string()
                      : "page image does not decode: " + reader.errorString().toStdString());
  }
}

}  // namespace
}  // namespace qb
