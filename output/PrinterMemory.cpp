#include "output/PrinterMemory.h"

#include <algorithm>
#include <cctype>

#include "util/ConfigFiles.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr std::string_view kGroup = "Print";

// True for a key SheetKey makes: digits, "x", digits, "mm".
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

}  // namespace

std::string SheetKey(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height) + "mm";
}

std::string RecallPrinter(int width, int height) {
  return ReadConfigValue(kGroup, SheetKey(width, height)).value_or(std::string());
}

Result<> RememberPrinter(int width, int height, const std::string& printer) {
  return WriteConfigValue(GetConfigFile(), std::string(kGroup), SheetKey(width, height), printer);
}

std::vector<RememberedPrinter> RememberedPrinterList() {
  const ConfigFiles files = ConfigFiles::Read();
  std::vector<RememberedPrinter> remembered;
  std::vector<std::string> seen;  // keys a more important file holds
  for (const ConfigEntry& entry : files.Entries()) {
    if (!EqualsIgnoreCase(entry.group, kGroup) || !IsSheetKey(entry.key) ||
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
  return WriteConfigValue(GetConfigFile(), std::string(kGroup), sheetKey, "");
}

}  // namespace qb
