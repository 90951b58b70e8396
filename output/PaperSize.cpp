#include "output/PaperSize.h"

#include <QSizeF>
#include <algorithm>
#include <array>

namespace qb {
namespace {

struct PaperRow {
  int width;
  int height;
  int code;
};

// The A2 row stands for the A2 sheet itself (420 x 594 mm, the size its code
// names); a session of 420 x 295 mm gets a custom sheet of exactly that size.
constexpr std::array<PaperRow, 9> kPapers{{
    {297, 420, 8},
    {210, 297, 9},
    {148, 210, 11},
    {105, 148, 70},
    {250, 354, 12},
    {182, 257, 13},
    {128, 182, 88},
    {100, 148, 43},
    {420, 594, 66},
}};

}  // namespace

int PaperSizeCode(int widthMm, int heightMm) {
  for (const PaperRow& row : kPapers) {
    if (row.width == widthMm && row.height == heightMm) {
      return row.code;
    }
  }
  return 0;
}

QPageSize PageSizeFor(int widthMm, int heightMm) {
  if (widthMm <= 0 || heightMm <= 0) {
    return QPageSize();
  }
  const int code = PaperSizeCode(widthMm, heightMm);
  if (code != 0) {
    return QPageSize(QPageSize::id(code));
  }
  // Page sizes are portrait; the orientation turns the sheet.
  return QPageSize(QSizeF(std::min(widthMm, heightMm), std::max(widthMm, heightMm)),
                   QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

bool IsLandscape(int widthMm, int heightMm, int orientation) {
  return orientation != 0 || widthMm > heightMm;
}

}  // namespace qb
