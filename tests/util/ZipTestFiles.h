// Writes ZIP archives for tests with the minizip writer.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qbtest {

// Stores every (name, content) pair, in order, at its name unchanged.
void WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace qbtest
