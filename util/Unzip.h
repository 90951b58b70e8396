// Unpacking a downloaded ZIP archive next to itself.
//
// Every entry is written below the archive's own folder at its stored name.
// Entries whose names are absolute, hold a ".." component, would reach
// outside that folder through a symbolic link or name a file the catalogue
// may not place (util/ServedFiles.h) are skipped (and logged);
// folder entries create their folder, and the missing folders of an entry in
// a subfolder are created inside the destination. The archive itself stays.
//
// Thread contract: stateless; any thread.
#pragma once

#include <string>

namespace qb {

// 0 after a full pass over the archive; 1 when it could not be opened, holds
// no entry, or an entry could not be opened or read (extraction stops there;
// the entries written before stay, the one being written is removed).
int Unzip(const std::string& archivePath);

}  // namespace qb
