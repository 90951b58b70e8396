#include "output/DataImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <vector>

#include "output/PngRowDecoder.h"
#include "output/PrintLimits.h"
#include "util/Base64.h"

namespace qb {

std::optional<std::string> DataImageBytes(std::string_view text) {
  constexpr std::string_view kPrefix = "data:image";
  if (text.substr(0, kPrefix.size()) != kPrefix) {
    return std::nullopt;
  }
  const size_t comma = text.find(',');
  if (comma != std::string_view::npos) {
    text.remove_prefix(comma + 1);
  }
  std::string bytes;
  if (Base64Decode(text, &bytes) == 0) {
    return std::nullopt;
  }
  return bytes;
}

QImage LoadImageBytes(std::string_view bytes) {
  QImage image;
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) {
    return image;
  }
  image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
  return image;
}

namespace {

// True when `bytes` are a PNG that decodes row by row to its end; false when
// they are not streamed or fail (only a whole decode can then tell).
bool StreamsToTheEnd(std::string_view bytes) {
  PngRowDecoder rows(bytes);
  if (!rows.Streams()) {
    return false;
  }
  std::vector<QRgb> row(static_cast<size_t>(rows.Size().width()));
  for (int y = 0; y < rows.Size().height(); ++y) {
    if (!rows.ReadRow(row.data())) {
      return false;
    }
  }
  return rows.Finish();
}

// A reader of `bytes`, which must outlive it.
struct BytesReader {
  explicit BytesReader(std::string_view bytes) {
    buffer.setData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
    buffer.open(QIODevice::ReadOnly);
    reader.setDevice(&buffer);
  }
  QBuffer buffer;
  QImageReader reader;
};

}  // namespace

std::string CheckPageImage(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) {
    return "no image bytes";
  }
  const QSize size = BytesReader(bytes).reader.size();  // read from the header only
  if (size.isValid()) {
    const int64_t pixels = int64_t{size.width()} * size.height();
    if (pixels > kMaxPagePixels || size.width() > kMaxPageSide || size.height() > kMaxPageSide) {
      return "page image of " + std::to_string(size.width()) + " x " +
             std::to_string(size.height()) + " pixels is larger than " +
             std::to_string(kMaxPagePixels) + " pixels";
    }
  }
  std::string refusal;
  RunDecode([&] {
    // A PNG is proved row by row, holding a row; the whole decode remains for
    // other images and for the reason a PNG fails.
    if (StreamsToTheEnd(bytes)) {
      return;
    }
    BytesReader decoder(bytes);
    // The decoder's own bound covers a format whose header gives no size: the
    // largest page allowed, as 32-bit pixels, with a little room.
    decoder.reader.setAllocationLimit(static_cast<int>(kMaxPagePixels * 4 / (1024 * 1024) + 16));
    if (decoder.reader.read().isNull()) {
      refusal = "page image does not decode: " + decoder.reader.errorString().toStdString();
    }
  });
  return refusal;
}

std::unique_ptr<QImage> DecodeDataImage(std::string_view text) {
  const std::optional<std::string> bytes = DataImageBytes(text);
  if (!bytes) {
    return nullptr;
  }
  QImage image = LoadImageBytes(*bytes);
  if (image.isNull()) {
    return nullptr;
  }
  image.convertTo(QImage::Format_ARGB32);
  return std::make_unique<QImage>(std::move(image));
}

}  // namespace qb
