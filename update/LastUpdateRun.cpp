#include "update/LastUpdateRun.h"

#include <cstdio>
#include <ctime>
#include <fstream>

#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {

std::string LastUpdateRunPath() { return GetStateFolder() + "/Tavrim/Quillbox/last-update-run"; }

void RecordLastUpdateRun(const std::string& summary) {
  const std::string path = LastUpdateRunPath();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[64] = {};
  if (localtime_r(&now, &local) == nullptr ||
      std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S %Z", &local) == 0) {
    stamp[0] = '\0';
  }
  const std::string partial = path + ".partial";
  const std::string folder = DirectoryPart(path);
  if (!DirectoryExists(folder) && !CreateDirectories(folder)) {
    LogDebug("cannot create the folder of " + path);
    return;
  }
  std::ofstream out(partial, std::ios::trunc);
  out << stamp << " " << summary << "\n";
  out.close();
  if (!out || std::rename(partial.c_str(), path.c_str()) != 0) {
    LogDebug("cannot write " + path);
    std::remove(partial.c_str());
  }
}

std::optional<std::string> ReadLastUpdateRun() {
  std::ifstream in(LastUpdateRunPath());
  std::string line;
  if (!in || !std::getline(in, line) || line.empty()) {
    return std::nullopt;
  }
  return line;
}

bool LastUpdateRunFailed(const std::string& line) {
  return line.find(", 0 failures,") == std::string::npos;
}

}  // namespace qb
