#include "output/ConfiguredPrinters.h"

#include <algorithm>

#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {

std::vector<RememberedPrinter> ConfiguredPrinters::List() const {
  const ConfigFiles files = ConfigFiles::ReadPaths({GetConfigFile()});
  std::vector<RememberedPrinter> remembered;
  std::vector<std::string> seen;  // the first of a key repeated is the one in effect
  for (const ConfigEntry& entry : files.Entries()) {
    if (!EqualsIgnoreCase(entry.group, "Print") ||
        std::any_of(seen.begin(), seen.end(),
                    [&](const std::string& key) { return EqualsIgnoreCase(key, entry.key); })) {
      continue;
    }
    seen.push_back(entry.key);
    if (!entry.value.empty()) {
      remembered.push_back({entry.key, entry.value});
    }
  }
  return remembered;
}

Result<> ConfiguredPrinters::Forget(const std::string& sheet) {
  if (Result<> written = WriteConfigValue(GetConfigFile(), "Print", sheet, ""); !written) {
    return written;
  }
  LogInfo("the printer remembered for sheets of " + sheet + " mm is forgotten");
  return {};
}

}  // namespace qb
