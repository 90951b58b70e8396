// Which files the catalogue server may place in the data folder, by download
// or as an entry of a downloaded archive: pictures, drawing files, templates
// and archives, recognised by their extension (in any letter case). The
// server's own files (the catalogue database and its journal files, the
// version files, files being downloaded or unpacked, damaged catalogues moved
// aside) are never written, whatever folder of the path names them.
//
// Thread contract: stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// The extensions written, lower case with their dot.
inline constexpr std::string_view kServedExtensions[] = {
    ".png", ".jpg", ".jpeg", ".gif", ".bmp", ".tif", ".tiff",  // pictures
    ".svg", ".tbl",                                            // drawing files
    ".qx3",                                                    // templates
    ".zip",                                                    // archives
};

// Why the file at `relativePath` (below the data folder or an archive's
// folder, "/"-separated) may not be written; empty when it may.
std::string ServedFileRefusal(std::string_view relativePath);
// The same for a folder at `relativePath`: only the server's own names are
// refused.
std::string ServedFolderRefusal(std::string_view relativePath);
// Why the file at `relativePath` may not be read as a drawing file (its
// extension is not .svg or .tbl, or it is one of the server's own files);
// empty when it may.
std::string DrawingFileRefusal(std::string_view relativePath);

}  // namespace qb
