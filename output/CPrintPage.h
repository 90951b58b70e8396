// One page of a print session. The page keeps the encoded image bytes the
// client sent (checked to decode when the page is made) and decodes them again
// when it is printed, so that a waiting page costs its compressed size, not a
// bitmap.
//
// Thread contract: immutable after construction; read from any thread while
// its session holds it.
#pragma once

#include <QImage>
#include <memory>
#include <string>
#include <string_view>

#include "util/Result.h"

namespace qb {

class CPrintPage {
 public:
  // The page of data text `text`, or why not: it does not decode to an image
  // or is refused by the limits of PrintLimits. The image's header is checked before it is decoded in full,
  // which happens in one of the decode slots.
  static Result<std::unique_ptr<CPrintPage>> FromDataImage(std::string_view text);

  explicit CPrintPage(std::string encoded) : m_strEncoded(std::move(encoded)) {}
  ~CPrintPage() = default;

  // The page image as 32-bit ARGB, or null when it no longer decodes.
  QImage DecodeImage() const;
  const std::string& Encoded() const { return m_strEncoded; }

 private:
  const std::string m_strEncoded;  // the image file bytes (PNG, JPEG ...)
};

}  // namespace qb
