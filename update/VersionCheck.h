// The catalogue version check behind "dbAccess/CHK_DB" and the readers of the
// catalogue server's small answers.
//
// The local version is the first line of "verFile_DB.txt" in the data folder;
// the server's is "/Ver3/DeskTop/verFile_DB.txt" below the catalogue base URL.
// A version text is "key=number"; a text without "=" counts as version 0.
//
// Thread contract: stateless; runs on the thread serving the request. The
// version files are read and written without a lock.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/CatalogueSchema.h"
#include "util/Result.h"

namespace qb {

// What comparing the local catalogue version with the server's found.
enum class VersionCheck {
  kServerNewer,       // "New_verFile_DB.txt" now holds the server's text
  kUpToDate,          // the server's version is not above the local one
  kNoLocalVersion,    // the local version file cannot be opened; nothing is fetched
  kServerUnreadable,  // the server's version file could not be fetched or was empty
                      // (logged with the URL and the reason)
};

VersionCheck CheckCatalogueVersion(const std::atomic<bool>* stop = nullptr);

// The text of "New_verFile_DB.txt", the version an update brings once it is
// complete; nullopt when there is none.
std::optional<std::string> PendingVersionText();
// Makes `pending` (read by PendingVersionText when the update began) the local
// version, and removes "New_verFile_DB.txt" unless a later check has replaced
// it meanwhile. The local file is replaced in one step; a pending version
// not above the local one is dropped instead (the version never goes back).
void CommitVersionFile(const std::string& pending);
// Removes both version files (the catalogue they described is gone) and
// starts again from version 0.
void RestartVersionFiles();

// The number after the first "=" of `text` (blanks skipped, optional sign,
// digits up to the first non-digit); 0 when there is no "=" or no digits.
int VersionNumber(std::string_view text);

// The count held by the node at `xpath` in the XML `xml` (leading blanks
// skipped, decimal digits up to the first non-digit). Fails, saying what is
// wrong, when the text is not XML, has no element, no node matches or the
// node's text is not a count.
Result<int> CountFromXml(std::string_view xml, const std::string& xpath);
// The catalogue version of the data folder (the first line of its version
// file); nullopt when it has none yet.
std::optional<int> LocalCatalogueVersion();

// Version files are written whole under a hidden name, synced and renamed
// into place (util/StagedFile.h).
//
// Writes version 0 ("DBVER=0") as the local version when the data folder
// holds no version file, the state an installed empty catalogue starts in, so
// that the first check finds any server catalogue newer. True when written.
bool EnsureLocalVersionFile();

// The "dbAccess/CHK_DB" answer: "1" when the server is newer, otherwise what
// the jan_code check of paper_infos says ("1" or "0").
std::string CheckDbAnswer(CatalogueSchema& definitions, const std::atomic<bool>* stop = nullptr);

}  // namespace qb
