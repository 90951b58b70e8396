#include "output/PrinterMemory.h"

#include "util/ConfigFiles.h"
#include "util/ConfigFolderLock.h"
#include "util/UserFolders.h"

namespace qb {

std::string SheetKey(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height) + "mm";
}

std::string RecallPrinter(int width, int height) {
  return ReadConfigValue("Print", SheetKey(width, height)).value_or(std::string());
}

Result<> RememberPrinter(int width, int height, const std::string& printer) {
  const std::string file = GetConfigFile();
  Result<ConfigFolderLock> lock = ConfigFolderLock::Take(file);
  if (!lock) {
    return Failure{lock.Error()};
  }
  return WriteConfigValue(file, "Print", SheetKey(width, height), printer);
}

}  // namespace qb
