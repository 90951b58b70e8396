// Helpers of the Qt tests: encoded page images, rasterised PDFs and a watcher
// that acts on a modal dialog once it is open.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

namespace qbtest {

// `image` as the data text the client sends (PNG).
std::string DataText(const QImage& image);

// Page `page` (from 1) of the PDF at `path` rasterised by pdftoppm at `dpi`,
// optionally cropped to (x, y, width, height) in pixels; null on failure.
QImage RasterisePdf(const std::string& path, int page, int dpi, const QRect& crop = QRect());

// Number of pages of the PDF at `path` (pdfinfo), or -1.
int PdfPageCount(const std::string& path);

// Size of the first page of the PDF at `path` in points, rounded (pdfinfo);
// empty on failure.
QSize PdfPageSize(const std::string& path);

// Calls `act` with the first modal widget that opens while the event loop
// runs; when none opens within 10 s, or `act` leaves it open for 10 s, every
// modal widget is rejected so that the test can never hang. `seen` tells
// whether `act` ran.
void WhenModal(std::function<void(QWidget*)> act, bool* seen);

}  // namespace qbtest
