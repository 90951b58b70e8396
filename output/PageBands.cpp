#include "output/PageBands.h"

#include <algorithm>

#include "output/DataImage.h"

namespace qb {
namespace {

QImage DecodeWhole(std::string_view bytes) {
  QImage image = LoadImageBytes(bytes);
  if (!image.isNull()) {
    image.convertTo(QImage::Format_ARGB32);
  }
  return image;
}

}  // namespace

PageBands::PageBands(std::string_view bytes, size_t bandBytes) : m_bytes(bytes) {
  m_rows.emplace(bytes);
  if (m_rows->Streams()) {
    m_size = m_rows->Size();
  } else {
    m_rows.reset();
    m_whole = DecodeWhole(bytes);
    m_size = m_whole.size();
  }
  m_nBandRows = RowsPerBand(bandBytes);
}

int PageBands::RowsPerBand(size_t bandBytes) const {
  const size_t rowBytes = std::max<size_t>(1, size_t(std::max(0, m_size.width())) * 4);
  const size_t rows = std::clamp<size_t>(bandBytes / rowBytes, kRowMultiple, 1 << 20);
  return static_cast<int>(rows / kRowMultiple * kRowMultiple);
}

QImage PageBands::Next() {
  if (m_size.isEmpty() || m_nNextRow >= m_size.height()) {
    return {};
  }
  const int rows = std::min(m_nBandRows, m_size.height() - m_nNextRow);
  if (m_rows) {
    QImage band(m_size.width(), rows, QImage::Format_ARGB32);
    if (band.isNull()) {
      return {};
    }
    int y = 0;
    while (y < rows && m_rows->ReadRow(reinterpret_cast<QRgb*>(band.scanLine(y)))) {
      ++y;
    }
    if (y == rows) {
      m_nNextRow += rows;
      return band;
    }
    // The stream failed part-way: the rest comes from a whole decode.
    m_rows.reset();
    m_whole = DecodeWhole(m_bytes);
    if (m_whole.size() != m_size) {
      m_size = QSize();
      return {};
    }
  }
  const QImage band = m_whole.copy(0, m_nNextRow, m_size.width(), rows);
  m_nNextRow += rows;
  return band;
}

}  // namespace qb
