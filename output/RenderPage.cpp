#include "output/RenderPage.h"

#include <QPainter>
#include <cmath>
#include <cstdint>

namespace qb {

QSize MmToDevice(int widthMm, int heightMm, int dpi) {
  const auto convert = [dpi](int mm) {
    return static_cast<int>(std::lround(static_cast<double>(mm) * dpi / 25.4));
  };
  return QSize(convert(widthMm), convert(heightMm));
}

void PremultiplyAlpha(QImage* image) {
  if (image == nullptr || image->isNull() ||
      (image->format() != QImage::Format_ARGB32 && image->format() != QImage::Format_RGB32)) {
    return;
  }
  const int width = image->width();
  for (int y = 0; y < image->height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image->scanLine(y));
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = row[x];
      const uint32_t alpha = pixel >> 24;
      if (alpha == 255) {
        continue;
      }
      const auto scale = [alpha](uint32_t colour) { return (colour * alpha + 128) >> 8; };
      row[x] = (alpha << 24) | (scale((pixel >> 16) & 0xFF) << 16) |
               (scale((pixel >> 8) & 0xFF) << 8) | scale(pixel & 0xFF);
    }
  }
  image->reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
}

SheetBlock CentreSheet(int width, int height, const QRect& page, int offsetX, int offsetY) {
  const int pageWidth = page.width();
  const int pageHeight = page.height();
  const int dx = (width - pageWidth) / 2;
  const int dy = (height - pageHeight) / 2;
  SheetBlock block;
  // Per axis: (source start, extent, target start).
  const auto axis = [](int d, int pageExtent, int* source, int* extent, int* target) {
    if (d >= 0) {
      *source = d;
      *extent = pageExtent;
      *target = 0;
    } else {
      *source = 0;
      *extent = pageExtent + 2 * d;
      *target = -d;
    }
  };
  int sx = 0, sw = 0, tx = 0, sy = 0, sh = 0, ty = 0;
  axis(dx, pageWidth, &sx, &sw, &tx);
  axis(dy, pageHeight, &sy, &sh, &ty);
  block.source = QRect(sx, sy, sw, sh);
  block.target = QPoint(tx - offsetX, ty - offsetY);
  return block;
}

void RenderPage(const QImage& image, QPainter* painter, int width, int height, const QRect& page,
                int offsetX, int offsetY) {
  if (painter == nullptr || image.isNull() || width <= 0 || height <= 0) {
    return;
  }
  const SheetBlock block = CentreSheet(width, height, page, offsetX, offsetY);
  if (block.source.isEmpty()) {
    return;
  }
  // Sheet pixel (0, 0) lands at `origin`; only the block's rectangle is drawn.
  const QPoint origin = block.target - block.source.topLeft();
  const QRect visible(block.target, block.source.size());
  painter->save();
  painter->setClipRect(visible);
  painter->fillRect(visible, Qt::white);
  painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter->drawImage(QRect(origin, QSize(width, height)), image);
  painter->restore();
}

}  // namespace qb
