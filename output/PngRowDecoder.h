// Decodes a PNG image one row at a time, so that checking or drawing a large
// page holds a row, not the page. Every row comes out as 32-bit ARGB
// (non-premultiplied) with exactly the values a whole-image decode through
// QImage converted to ARGB32 gives. Only the layouts where that holds are
// streamed: not interlaced, 8 bits per channel (RGB, RGB with alpha, grey,
// grey with alpha) or a palette; for anything else Streams() is false and the
// caller decodes the whole image instead.
//
// Thread contract: one decoder per thread; the bytes it reads must outlive it.
#pragma once

#include <QRgb>
#include <QSize>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

struct png_struct_def;
struct png_info_def;

namespace qb {

class PngRowDecoder {
 public:
  explicit PngRowDecoder(std::string_view bytes);
  ~PngRowDecoder();
  PngRowDecoder(const PngRowDecoder&) = delete;
  PngRowDecoder& operator=(const PngRowDecoder&) = delete;

  // True when the header was read and the layout is one this decoder streams.
  bool Streams() const { return m_bStreams; }
  QSize Size() const { return m_size; }
  // Decodes the next row into `row` (Size().width() pixels). False on a
  // decoding error, after the last row, or when the image is not streamed.
  bool ReadRow(QRgb* row);
  // After the last row: reads what follows the image data, as a whole-image
  // decode does. False on an error there.
  bool Finish();

 private:
  bool ReadHeader();
  bool ReadRawRow(uint8_t* target);

  std::pair<std::string_view, size_t> m_input;  // the bytes and how far libpng has read

  ::png_struct_def* m_png = nullptr;
  ::png_info_def* m_info = nullptr;
  ::png_info_def* m_end = nullptr;  // what follows the image data
  bool m_bStreams = false;
  QSize m_size;
  int m_nRowsRead = 0;
  // Palette and low-depth grey images come as indices into this table.
  bool m_bIndexed = false;
  bool m_bGrey = false;  // one grey byte per pixel
  std::vector<QRgb> m_table;
  std::vector<uint8_t> m_raw;  // one decoded row before conversion
};

}  // namespace qb
