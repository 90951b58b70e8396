#include "output/CPrintPage.h"

#include "output/DataImage.h"

namespace qb {

Result<std::unique_ptr<CPrintPage>> CPrintPage::FromDataImage(std::string_view text) {
  std::optional<std::string> bytes = DataImageBytes(text);
  std::string reason = bytes ? CheckPageImage(*bytes) : "not a data image";
  if (!reason.empty()) {
    return Failure{std::move(reason)};
  }
  return std::make_unique<CPrintPage>(std::move(*bytes));
}

QImage CPrintPage::DecodeImage() const {
  QImage image = LoadImageBytes(m_strEncoded);
  if (!image.isNull()) {
    image.convertTo(QImage::Format_ARGB32);
  }
  return image;
}

}  // namespace qb
