// A page image handed out in horizontal bands of 32-bit ARGB (non-premultiplied),
// top to bottom, so that drawing a page holds a band rather than the page.
// A PNG in a layout PngRowDecoder streams is decoded band by band; any other
// image is decoded whole once and handed out in slices of it, as is a streamed
// image that fails part-way (the bands go on where they were).
//
// Thread contract: one object per thread; the bytes given must outlive it.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <optional>
#include <string_view>

#include "output/PngRowDecoder.h"

namespace qb {

class PageBands {
 public:
  // About this many bytes of pixels per band.
  static constexpr size_t kDefaultBandBytes = size_t{4} << 20;
  // A band has a multiple of this many rows (at least this many). The PDF
  // printer engine compresses an image as JPEG, in blocks of up to 16 x 16
  // pixels: bands that start and end on block rows compress as the whole
  // image would.
  static constexpr size_t kRowMultiple = 16;

  explicit PageBands(std::string_view bytes, size_t bandBytes = kDefaultBandBytes);

  // The image's size; empty when it does not decode.
  QSize Size() const { return m_size; }
  // The first row of the next band.
  int NextRow() const { return m_nNextRow; }
  // The next band (rows NextRow() on, Size().width() wide); null after the
  // last band or when the image does not decode.
  QImage Next();

 private:
  int RowsPerBand(size_t bandBytes) const;

  std::string_view m_bytes;
  std::optional<PngRowDecoder> m_rows;  // set while the image is streamed
  QImage m_whole;                       // the decoded image otherwise
  QSize m_size;
  int m_nBandRows = 1;
  int m_nNextRow = 0;
};

}  // namespace qb
