#include "output/PrinterMemory.h"

#include <algorithm>
#include <cctype>

#include "util/ConfigFiles.h"
#include "util/ConfigFolderLock.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {

std::string SheetKey(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height) + "mm";
}

bool IsSheetKey(std::string_view key) {
  const auto digits = [&key] {
    size_t n = 0;
    while (n < key.size() && std::isdigit(static_cast<unsigned char>(key[n])) != 0) {
      ++n;
    }
    key.remove_prefix(n);
    return n > 0;
  };
  if (!digits() || !key.starts_with('x')) {
    return false;
  }
  key.remove_prefix(1);
  return digits() && key == "mm";
}

std::string RecallPrinter(int width, int height) {
  return ReadConfigValue(kPrinterMemoryGroup, SheetKey(width, height)).value_or(std::string());
}

namespace {

// Writes `printer` for `sheetKey` under the configuration folder's lock, as
// every writer of the user's file does.
Result<> WritePrinter(const std::string& sheetKey, const std::string& printer) {
  const std::string file = GetConfigFile();
  Result<ConfigFolderLock> lock = ConfigFolderLock::Take(file);
  if (!lock) {
    return Failure{lock.Error()};
  }
  return WriteConfigValue(file, std::string(kPrinterMemoryGroup), sheetKey, printer);
}

}  // namespace

Result<> RememberPrinter(int width, int height, const std::string& printer) {
  return WritePrinter(SheetKey(width, height), printer);
}

std::vector<RememberedPrinter> RememberedPrinterList() {
  const ConfigFiles files = ConfigFiles::Read();
  std::vector<RememberedPrinter> remembered;
  std::vector<std::string> seen;  // keys a more important file holds
  for (const ConfigEntry& entry : files.Entries()) {
    if (!EqualsIgnoreCase(entry.group, kPrinterMemoryGroup) || !IsSheetKey(entry.key) ||
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

Result<> ForgetPrinter(const std::string& sheetKey) {
  return WritePrinter(sheetKey, "");
}

}  // namespace qb
