// Geometry and drawing of one printed page. The page image is scaled to the
// sheet's size in device pixels (W x H), laid on white with per-pixel alpha,
// and the rendered sheet is centred on the printer's physical page: when the
// physical page is larger than W x H on an axis the rendered sheet sits in its
// middle, when it is smaller the middle of the rendered sheet fills it.
//
// RenderPage never builds the W x H sheet as a bitmap: it paints the white
// sheet and the scaled image through the painter, clipped to the device
// rectangle the sheet's visible block would occupy, so a page costs about its
// source image in memory whatever the printer's resolution. RenderPageBands
// draws the image band by band, each into the part of the sheet its rows
// cover, so that a page costs one band.
//
// Thread contract: stateless; PremultiplyAlpha on any thread, RenderPage on the
// thread that owns the painter.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;

namespace qb {

class PageBands;

// (width x dpi / 25.4, height x dpi / 25.4), each rounded half away from zero.
QSize MmToDevice(int widthMm, int heightMm, int dpi);

// For 32-bit images (ARGB32 or RGB32): every pixel whose alpha is not 255 has
// each colour byte c replaced by (c x alpha + 128) >> 8, and the image is then
// marked as premultiplied ARGB. Other formats are left unchanged.
void PremultiplyAlpha(QImage* image);

// Lays a 32-bit image on white: every pixel becomes opaque, each colour byte
// c of a pixel with alpha a (non-premultiplied) turning into
// (c x a + 255 x (255 - a) + 127) / 255, as the white sheet under it would
// show it. The image is then RGB32; other formats are converted to ARGB32
// first.
void LayOnWhite(QImage* image);

// The block of the rendered W x H sheet that lands on the device, and where:
// `source` is the block in sheet pixels, `target` its top-left corner in device
// pixels (already shifted by the physical offsets).
struct SheetBlock {
  QRect source;
  QPoint target;
};

// The centring rule: P x Q is the page rectangle's size, dx = (W - P) / 2 and
// dy = (H - Q) / 2 rounded toward zero; per axis a non-negative d copies from
// d with the page's extent to 0, a negative d copies the whole sheet extent
// (P + 2d) from 0 to -d. The target is then shifted by (-offsetX, -offsetY).
SheetBlock CentreSheet(int width, int height, const QRect& page, int offsetX, int offsetY);

// Draws `image` (premultiplied when it has alpha) scaled to `width` x `height`
// device pixels over a white sheet of that size, placed on the device by
// CentreSheet. Nothing is drawn when the size is not positive or the image is
// null.
void RenderPage(const QImage& image, QPainter* painter, int width, int height, const QRect& page,
                int offsetX, int offsetY);

// RenderPage for the image `bands` hands out, each band laid on the white sheet
// (made opaque as it would show there) and drawn where its rows fall in the
// scaled image; the result looks as the whole image drawn at once. False when
// a band could not be had (what was drawn stays).
bool RenderPageBands(PageBands* bands, QPainter* painter, int width, int height, const QRect& page,
                     int offsetX, int offsetY);

}  // namespace qb
