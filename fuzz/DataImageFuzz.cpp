// Page images into DecodeDataImage. An input that begins with "data:image" is
// taken as the whole text; any other input is taken as the encoded image and
// sent as "data:image/png;base64,<input in base64>", so that mutations reach
// the image decoders (PNG, JPEG, BMP, GIF, TIFF and the other plugins).
//
// Properties: a decoded image is 32-bit ARGB and not empty.
//
// Image decoding needs no QGuiApplication: QImage finds its format plugins
// (GIF, TIFF, ...) through the library paths without one, as the unit tests
// and the server's connection threads rely on.

#include <QByteArray>

#include "FuzzCheck.h"
#include "output/DataImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input = qbfuzz::Bytes(data, size);
  std::unique_ptr<QImage> image;
  if (input.starts_with("data:image")) {
    image = qb::DecodeDataImage(input);
  } else {
    const QByteArray digits =
        QByteArray::fromRawData(input.data(), static_cast<qsizetype>(input.size())).toBase64();
    image = qb::DecodeDataImage("data:image/png;base64," + digits.toStdString());
  }
  if (image) {
    FUZZ_CHECK(!image->isNull());
    FUZZ_CHECK(image->format() == QImage::Format_ARGB32);
    FUZZ_CHECK(image->width() > 0 && image->height() > 0);
  }
  return 0;
}
