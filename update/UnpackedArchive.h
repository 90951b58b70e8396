// Archives the catalogue server sends (material folders, templates, files
// named by product records): recognised by the extension of their path,
// unpacked next to themselves, then replaced by a small hidden stamp beside
// them (".<name>.unpacked" for "<name>") that shows they were unpacked. A run that looks for
// missing files takes the stamp for the archive, so an unpacked archive is not
// fetched again until a changed record names it anew. A fetch or an unpack of
// the archive that fails removes the stamp, so the next run fetches it again.
//
// The stamp's name is not one the catalogue may place (util/ServedFiles.h),
// so neither a download nor an archive entry can write it.
//
// Thread contract: stateless; any thread. The caller makes sure one archive is
// not fetched or unpacked by two threads at once (the download queue serves
// each URL once at a time).
#pragma once

#include <string>
#include <string_view>

#include "util/Result.h"
#include "util/Unzip.h"

namespace qb {

// True when the path of `pathOrUrl` (before any "?") ends in ".zip", in any
// letter case.
bool IsArchivePath(std::string_view pathOrUrl);

// True when the archive at `archive` has been unpacked since it was last
// fetched.
bool WasUnpacked(const std::string& archive);

// Unpacks the archive at `archive` into its folder; once that is done, writes
// its stamp and removes the archive. Fails, saying why, when the archive
// cannot be unpacked whole: the archive and any earlier stamp are removed then
// (the entries written before the failure stay).
Result<> UnpackArchive(const std::string& archive);

// Removes the stamp of `archive` (its fetch failed).
void ForgetUnpacked(const std::string& archive);

}  // namespace qb
