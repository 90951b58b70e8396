// Picture records of the picture-list answers and the folder scan that turns
// a material folder into them.
//
// A picture record is "  <pictInfo>\n", "    <pno>N</pno>\n",
// "    <thumbUrl>..</thumbUrl>\n", "    <imageUrl>..</imageUrl>\n",
// "  </pictInfo>\n".
//
// Thread contract: stateless; the scan reads the file system as it is at that
// moment (a download may be filling the folder at the same time).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

inline constexpr std::string_view kPictListOpen = "<pictInfoList>\n";
inline constexpr std::string_view kPictListClose = "</pictInfoList>\n";

// One picture record with the same URL as thumbnail and image.
void AppendPictRecord(std::string* out, int64_t number, std::string_view url);
// One picture record whose URL lines are left out when a URL is nullopt.
void AppendPictRecord(std::string* out, std::string_view number,
                      std::optional<std::string_view> thumbUrl,
                      std::optional<std::string_view> imageUrl);

// Appends the records of the folder `folder` in the order the file system
// lists its entries. Every entry but "." and ".." takes the next number from
// 0, whether or not it writes a record: a subfolder writes the records of its
// own scan (numbered from 0 again) at that point, "Thumbs.db" writes nothing,
// any other file writes one record whose URLs are `folder` + "/" + its name.
// A missing or unreadable folder writes nothing. Symbolic links to folders
// are not followed.
void ScanPictFolder(const std::string& folder, std::string* out);

// Scans the material folder `kind` + "/" + `folder` below `dataFolder`
// ("\" in `folder` taken as "/"), provided it stays inside `dataFolder`;
// a folder that would lie outside writes nothing.
void ScanMaterialFolder(const std::string& dataFolder, std::string_view kind,
                        std::string_view folder, std::string* out);

}  // namespace qb
