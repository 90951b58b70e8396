#include "output/DataImage.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace qb {
namespace {

std::string Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format)) << format;
  return bytes.toBase64().toStdString();
}

QImage TwoPixels() {
  QImage image(2, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(255, 0, 0, 255));
  image.setPixel(1, 0, qRgba(0, 0, 255, 64));
  return image;
}

TEST(DecodeDataImage, ReadsTheClientsImageFormats) {
  const QImage opaque = QImage(7, 5, QImage::Format_RGB32);
  struct Row {
    const char* name;
    std::string text;
    int width;  // 0: no image
    int height;
  };
  const std::string png = Encode(TwoPixels(), "PNG");
  const Row rows[] = {
      {"png", "data:image/png;base64," + png, 2, 1},
      {"png without padding", "data:image/png;base64," + png.substr(0, png.find('=')), 2, 1},
      {"media type not examined", "data:image/whatever," + png, 2, 1},
      {"jpeg", "data:image/jpeg;base64," + Encode(opaque, "JPEG"), 7, 5},
      {"bmp", "data:image/bmp;base64," + Encode(opaque, "BMP"), 7, 5},
      {"tiff", "data:image/tiff;base64," + Encode(opaque, "TIFF"), 7, 5},
      {"gif", "data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==",
       1, 1},
      {"prefix missing", "image/png;base64," + png, 0, 0},
      {"no comma: the prefix is decoded too", "data:image" + png, 0, 0},
      {"nothing after the comma", "data:image/png;base64,", 0, 0},
      {"garbage", "data:image/png;base64,bm90IGFuIGltYWdl", 0, 0},
      {"truncated png", "data:image/png;base64," + png.substr(0, 40), 0, 0},
      {"empty", "", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::unique_ptr<QImage> image = DecodeDataImage(row.text);
    if (row.width == 0) {
      EXPECT_EQ(image, nullptr);
      continue;
    }
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSize(row.width, row.height));
    EXPECT_EQ(image->format(), QImage::Format_ARGB32);
  }
}

TEST(DecodeDataImage, KeepsTheAlphaChannel) {
  const std::unique_ptr<QImage> image =
      DecodeDataImage("data:image/png;base64," + Encode(TwoPixels(), "PNG"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(image->pixel(1, 0), qRgba(0, 0, 255, 64));
}

}  // namespace
}  // namespace qb
