#include "output/PngRowDecoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace qb {
namespace {

void ReadInput(png_structp png, png_bytep data, size_t length) {
  auto* input = static_cast<std::pair<std::string_view, size_t>*>(png_get_io_ptr(png));
  if (input->first.size() - input->second < length) {
    png_error(png, "Read Error");
  }
  std::memcpy(data, input->first.data() + input->second, length);
  input->second += length;
}

// Warnings are not errors: the whole-image decode goes on past them too.
void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

PngRowDecoder::PngRowDecoder(std::string_view bytes) : m_input{bytes, 0} {
  m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
  if (m_png != nullptr) {
    m_info = png_create_info_struct(m_png);
    m_end = png_create_info_struct(m_png);
  }
  m_bStreams = m_info != nullptr && m_end != nullptr && ReadHeader();
}

PngRowDecoder::~PngRowDecoder() {
  if (m_png != nullptr) {
    png_destroy_read_struct(&m_png, m_info != nullptr ? &m_info : nullptr,
                            m_end != nullptr ? &m_end : nullptr);
  }
}

bool PngRowDecoder::ReadHeader() {
  constexpr size_t kSignature = 8;
  if (m_input.first.size() < kSignature ||
      png_sig_cmp(reinterpret_cast<png_const_bytep>(m_input.first.data()), 0, kSignature) != 0) {
    return false;
  }
  if (setjmp(png_jmpbuf(m_png))) {
    return false;
  }
  // The same reading options as QImage's decoder, so that both accept and
  // refuse the same files.
  png_set_option(m_png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
  png_set_read_fn(m_png, &m_input, ReadInput);
  png_read_info(m_png, m_info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int depth = 0;
  int colour = 0;
  int interlace = 0;
  png_get_IHDR(m_png, m_info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  if (interlace != PNG_INTERLACE_NONE || width > INT32_MAX / 4 || height > INT32_MAX) {
    return false;
  }
  const bool transparentColour = png_get_valid(m_png, m_info, PNG_INFO_tRNS) != 0;
  png_colorp palette = nullptr;
  int paletteSize = 0;
  if (colour == PNG_COLOR_TYPE_PALETTE) {
    if (png_get_PLTE(m_png, m_info, &palette, &paletteSize) == 0 || paletteSize > 256) {
      return false;
    }
    png_set_packing(m_png);
    // As QImage: a 1-bit image has two colours, a deeper one its palette's;
    // entries the palette does not give are transparent black, and an index
    // past the table means entry 0.
    m_table.assign(depth == 1 ? 2 : static_cast<size_t>(paletteSize), 0);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    png_color_16p unused = nullptr;
    if (png_get_tRNS(m_png, m_info, &alpha, &alphaCount, &unused) == 0 || alpha == nullptr) {
      alphaCount = 0;
    }
    for (int i = 0; i < paletteSize && static_cast<size_t>(i) < m_table.size(); ++i) {
      m_table[static_cast<size_t>(i)] =
          qRgba(palette[i].red, palette[i].green, palette[i].blue, i < alphaCount ? alpha[i] : 255);
    }
    m_bIndexed = true;
  } else if (depth != 8) {
    return false;
  } else if (colour == PNG_COLOR_TYPE_GRAY) {
    if (transparentColour) {
      return false;
    }
    m_bGrey = true;
  } else if (colour == PNG_COLOR_TYPE_RGB || colour == PNG_COLOR_TYPE_RGB_ALPHA ||
             colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_expand(m_png);
    if (colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
      png_set_gray_to_rgb(m_png);
    }
    if ((colour & PNG_COLOR_MASK_ALPHA) == 0 && !transparentColour) {
      png_set_filler(m_png, 0xff, PNG_FILLER_AFTER);
    }
    png_set_bgr(m_png);  // ARGB32 is B, G, R, A in memory on little-endian hosts
  } else {
    return false;
  }
  png_read_update_info(m_png, m_info);
  const size_t rowBytes = png_get_rowbytes(m_png, m_info);
  if (!m_bIndexed && !m_bGrey && rowBytes != size_t{width} * 4) {
    return false;
  }
  m_raw.resize(m_bIndexed || m_bGrey ? rowBytes : 0);
  m_size = QSize(static_cast<int>(width), static_cast<int>(height));
  return true;
}

bool PngRowDecoder::ReadRawRow(uint8_t* target) {
  if (setjmp(png_jmpbuf(m_png))) {
    m_bStreams = false;
    return false;
  }
  png_read_row(m_png, target, nullptr);
  return true;
}

bool PngRowDecoder::ReadRow(QRgb* row) {
  if (!m_bStreams || m_nRowsRead >= m_size.height()) {
    return false;
  }
  if (!m_bIndexed && !m_bGrey) {
    if (!ReadRawRow(reinterpret_cast<uint8_t*>(row))) {
      return false;
    }
  } else if (!ReadRawRow(m_raw.data())) {
    return false;
  } else if (m_bGrey) {
    for (int x = 0; x < m_size.width(); ++x) {
      const uint8_t grey = m_raw[static_cast<size_t>(x)];
      row[x] = qRgb(grey, grey, grey);
    }
  } else {
    for (int x = 0; x < m_size.width(); ++x) {
      const size_t index = m_raw[static_cast<size_t>(x)];
      row[x] = m_table[index < m_table.size() ? index : 0];
    }
  }
  ++m_nRowsRead;
  return true;
}

bool PngRowDecoder::Finish() {
  if (!m_bStreams || m_nRowsRead != m_size.height()) {
    return false;
  }
  if (setjmp(png_jmpbuf(m_png))) {
    m_bStreams = false;
    return false;
  }
  png_read_end(m_png, m_end);
  return true;
}

}  // namespace qb
