#include "output/DataImage.h"

#include "util/Base64.h"

namespace qb {

bool DataImageBytes(std::string_view text, std::string* bytes) {
  constexpr std::string_view kPrefix = "data:image";
  if (text.substr(0, kPrefix.size()) != kPrefix) {
    return false;
  }
  const size_t comma = text.find(',');
  if (comma != std::string_view::npos) {
    text.remove_prefix(comma + 1);
  }
  return Base64Decode(text, bytes) > 0;
}

QImage LoadImageBytes(std::string_view bytes) {
  QImage image;
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) {
    return image;
  }
  image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
  return image;
}

std::unique_ptr<QImage> DecodeDataImage(std::string_view text) {
  std::string bytes;
  if (!DataImageBytes(text, &bytes)) {
    return nullptr;
  }
  QImage image = LoadImageBytes(bytes);
  if (image.isNull()) {
    return nullptr;
  }
  image.convertTo(QImage::Format_ARGB32);
  return std::make_unique<QImage>(std::move(image));
}

}  // namespace qb
