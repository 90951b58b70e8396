// Unpacking a downloaded ZIP archive next to itself.
//
// Every entry is written below the archive's own folder at its stored name.
// Entries whose names are absolute, hold a ".." component, would reach
// outside that folder through a symbolic link or name one of the server's own
// files are skipped and logged as errors; entries of a kind the catalogue
// does not place (util/ServedFiles.h: "Thumbs.db", "desktop.ini", ...) are
// skipped with an info line;
// folder entries create their folder, and the missing folders of an entry in
// a subfolder are created inside the destination. The archive itself stays.
//
// The limits of DiskBudget hold: an archive that would unpack to too much, at
// too high a ratio, or into less than the reserve of free space is not
// unpacked at all; an entry that grows past its declared size or a cap while
// it is written ends the extraction. Each entry is written under its name plus
// kPartialSuffix and renamed when complete, so no entry is ever left half
// written under its own name.
//
// Thread contract: stateless; any thread.
#pragma once

#include <string>
#include <string_view>

#include "util/Result.h"

namespace qb {

// Done after a full pass over the archive. Fails, saying why (not logged),
// when it could not be opened, holds no entry, may not be unpacked within the
// limits, or an entry could not be opened or read (extraction stops there; the
// entries written before stay, the one being written is removed).
Result<> Unzip(const std::string& archivePath);

// The hidden stamp that the update run leaves beside an archive once it has
// been unpacked (".<name>.unpacked" for "<name>", in the archive's folder), in
// the archive's place: folder listings leave stamps out, as the archive was.
std::string UnpackedStampPath(const std::string& archive);
// True for the file name of such a stamp.
bool IsUnpackedStampName(std::string_view name);

}  // namespace qb
