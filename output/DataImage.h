// Page images as the client sends them: "data:image/...;base64,<digits>".
// Decoding goes through QImage (PNG, JPEG, BMP, GIF; TIFF and more with the
// image-format plugins); the alpha channel of images that have one is kept.
// Qt's allocation limit refuses images whose pixels would need more than
// 256 MB.
//
// Thread contract: stateless; any thread.
#pragma once

#include <QImage>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

// The encoded image bytes of a data text: it must begin with "data:image";
// everything up to and including the first "," is dropped (the whole text is
// decoded when there is none), the rest is base64. Nullopt when the prefix is
// missing or no byte results.
std::optional<std::string> DataImageBytes(std::string_view text);

// Decodes encoded image bytes; a null image when they do not decode. The
// image keeps the format the decoder chose.
QImage LoadImageBytes(std::string_view bytes);

// Checks that encoded image bytes make a printable page: the size its header
// gives stays within kMaxPagePixels and kMaxPageSide, and then the whole image
// decodes (in a decode slot, see PrintLimits; a PNG that PngRowDecoder streams
// is decoded row by row, never held whole). Empty when it does; otherwise why
// not.
std::string CheckPageImage(std::string_view bytes);

// The decoded image of a data text, as 32-bit ARGB (alpha kept; opaque images
// get alpha 255), or null.
std::unique_ptr<QImage> DecodeDataImage(std::string_view text);

}  // namespace qb
