// JSON text for the print answers: a quoted string and an array of strings.
// Input is UTF-8; bytes that are not valid UTF-8 are replaced by U+FFFD so
// that the answer is always valid JSON.
//
// Thread contract: stateless; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb {

// `text` as a JSON string, quotes included.
std::string JsonQuoted(std::string_view text);
// `items` as a JSON array of strings.
std::string JsonStrings(const std::vector<std::string>& items);

}  // namespace qb
