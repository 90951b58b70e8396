// The paper a print session asks for, as the printer's page size: the sizes
// the client uses for standard sheets map to their standard page sizes, any
// other pair of millimetres to a custom size of exactly that extent.
//
// Thread contract: stateless; any thread.
#pragma once

#include <QPageSize>

namespace qb {

// The standard sheet code of width x height millimetres (exact match on both,
// order matters): A3 8, A4 9, A5 11, A6 70, B4 12, B5 13, B6 (JIS) 88,
// postcard 43, A2 66; 0 for any other pair.
int PaperSizeCode(int widthMm, int heightMm);

// The page size for a session of width x height millimetres: the standard
// size of PaperSizeCode, else a custom size of the two sides in portrait form
// (the orientation turns it); an invalid page size when either side is not
// positive.
QPageSize PageSizeFor(int widthMm, int heightMm);

// True when the session's sheet lies landscape: the client asked for it, or
// the paper is wider than high.
bool IsLandscape(int widthMm, int heightMm, int orientation);

}  // namespace qb
