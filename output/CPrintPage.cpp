#include "output/CPrintPage.h"

#include "output/DataImage.h"

namespace qb {

std::unique_ptr<CPrintPage> CPrintPage::FromDataImage(std::string_view text) {
  std::string bytes;
  if (!DataImageBytes(text, &bytes) || LoadImageBytes(bytes).isNull()) {
    return nullptr;
  }
  return std::make_unique<CPrintPage>(std::move(bytes));
}

QImage CPrintPage::DecodeImage() const {
  QImage image = LoadImageBytes(m_strEncoded);
  if (!image.isNull()) {
    image.convertTo(QImage::Format_ARGB32);
  }
  return image;
}

}  // namespace qb
