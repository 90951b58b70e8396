#include "output/RenderPage.h"

#include <QPainter>
#include <cmath>
#include <cstdint>

#include "output/PageBands.h"

namespace qb {

QSize MmToDevice(int widthMm, int heightMm, int dpi) {
  const auto convert = [dpi](int mm) {
    return static_cast<int>(std::lround(static_cast<double>(mm) * dpi / 25.4));
  };
  return QSize(convert(widthMm), convert(heightMm));
}

namespace {

// Replaces each colour byte c of every pixel of the 32-bit `image` whose alpha
// is not 255 by `colour`(c, alpha), and that alpha by `alpha`(alpha).
template <typename Colour, typename Alpha>
void ChangeTranslucentPixels(QImage* image, Colour colour, Alpha alpha) {
  const int width = image->width();
  for (int y = 0; y < image->height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image->scanLine(y));
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = row[x];
      const uint32_t a = pixel >> 24;
      if (a != 255) {
        row[x] = (alpha(a) << 24) | (colour((pixel >> 16) & 0xFF, a) << 16) |
                 (colour((pixel >> 8) & 0xFF, a) << 8) | colour(pixel & 0xFF, a);
      }
    }
  }
}

}  // namespace

void PremultiplyAlpha(QImage* image) {
  if (image == nullptr || image->isNull() ||
      (image->format() != QImage::Format_ARGB32 && image->format() != QImage::Format_RGB32)) {
    return;
  }
  ChangeTranslucentPixels(
      image, [](uint32_t c, uint32_t a) { return (c * a + 128) >> 8; },
      [](uint32_t a) { return a; });
  image->reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
}

void LayOnWhite(QImage* image) {
  if (image->format() != QImage::Format_ARGB32) {
    image->convertTo(QImage::Format_ARGB32);
  }
  ChangeTranslucentPixels(
      image, [](uint32_t c, uint32_t a) { return (c * a + 255 * (255 - a) + 127) / 255; },
      [](uint32_t) { return uint32_t{255}; });
  image->reinterpretAsFormat(QImage::Format_RGB32);
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

namespace {

// Paints the white sheet of `width` x `height` placed by CentreSheet, sets the
// painter up for the image and clips it to what lands on the device; the
// rectangle the whole scaled image fills, or an empty one when nothing lands
// (the painter is then left as it was). The caller restores the painter after
// a non-empty result.
QRect BeginSheet(QPainter* painter, int width, int height, const QRect& page, int offsetX,
                 int offsetY) {
  const SheetBlock block = CentreSheet(width, height, page, offsetX, offsetY);
  if (block.source.isEmpty()) {
    return {};
  }
  // Sheet pixel (0, 0) lands at `origin`; only the block's rectangle is drawn.
  const QPoint origin = block.target - block.source.topLeft();
  const QRect visible(block.target, block.source.size());
  painter->save();
  painter->setClipRect(visible);
  painter->fillRect(visible, Qt::white);
  painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  return QRect(origin, QSize(width, height));
}

}  // namespace

void RenderPage(const QImage& image, QPainter* painter, int width, int height, const QRect& page,
                int offsetX, int offsetY) {
  if (painter == nullptr || image.isNull() || width <= 0 || height <= 0) {
    return;
  }
  const QRect target = BeginSheet(painter, width, height, page, offsetX, offsetY);
  if (target.isEmpty()) {
    return;
  }
  painter->drawImage(target, image);
  painter->restore();
}

bool RenderPageBands(PageBands* bands, QPainter* painter, int width, int height, const QRect& page,
                     int offsetX, int offsetY) {
  if (painter == nullptr || bands == nullptr || bands->Size().isEmpty() || width <= 0 ||
      height <= 0) {
    return bands != nullptr && !bands->Size().isEmpty();
  }
  const QRect target = BeginSheet(painter, width, height, page, offsetX, offsetY);
  if (target.isEmpty()) {
    return true;
  }
  // Band edges are computed by one expression, so that a band ends exactly
  // where the next begins.
  const double rowHeight = static_cast<double>(height) / bands->Size().height();
  const auto edge = [&](int row) { return target.y() + row * rowHeight; };
  bool whole = true;
  while (bands->NextRow() < bands->Size().height()) {
    const int first = bands->NextRow();
    QImage band = bands->Next();
    if (band.isNull()) {
      whole = false;
      break;
    }
    // Opaque bands look the same where a rasteriser lets one overlap its
    // neighbour by a device row; translucent ones would darken the seam.
    LayOnWhite(&band);
    const double top = edge(first);
    painter->drawImage(QRectF(target.x(), top, width, edge(first + band.height()) - top), band);
  }
  painter->restore();
  return whole;
}

}  // namespace qb
