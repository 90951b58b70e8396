#include "update/VersionCheck.h"

#include <pugixml.hpp>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "update/HttpGet.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {

int VersionNumber(std::string_view text) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return 0;
  }
  const std::string_view rest = text.substr(equals + 1);
  return LeadingInt32(SkipLeadingSpace(rest.substr(0, rest.find('='))));
}

int CountFromXml(std::string_view xml, const std::string& xpath) {
  pugi::xml_document document;
  if (!document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) {
    return 0;
  }
  try {
    const pugi::xpath_node node = document.select_node(xpath.c_str());
    return node ? LeadingInt32(SkipLeadingSpace(node.node().text().get())) : 0;
  } catch (const pugi::xpath_exception& error) {
    LogError("bad count path " + xpath + ": " + error.what());
    return 0;
  }
}

namespace {

std::string LocalVersionPath() { return GetDataFolder() + "/verFile_DB.txt"; }
std::string PendingVersionPath() { return GetDataFolder() + "/New_verFile_DB.txt"; }

// Writes `text` to `path` through a temporary file renamed over it, so that
// a reader never sees a half-written version.
bool ReplaceFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".partial";
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    LogError("cannot write " + path);
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> PendingVersionText() {
  std::ifstream file(PendingVersionPath(), std::ios::binary);
  if (!file) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void CommitVersionFile(const std::string& pending) {
  std::ifstream local(LocalVersionPath());
  std::string line;
  if (local && std::getline(local, line) && VersionNumber(line) >= VersionNumber(pending)) {
    // A version left from before the last commit: never go back.
    if (PendingVersionText() == pending) {
      std::remove(PendingVersionPath().c_str());
    }
    return;
  }
  if (!ReplaceFile(LocalVersionPath(), pending)) {
    return;
  }
  if (PendingVersionText() == pending) {
    std::remove(PendingVersionPath().c_str());
  }
  LogInfo("catalogue version " + std::to_string(VersionNumber(pending)) + " committed");
}

void RestartVersionFiles() {
  std::remove(PendingVersionPath().c_str());
  std::remove(LocalVersionPath().c_str());
  EnsureLocalVersionFile();
}

bool EnsureLocalVersionFile() {
  const std::string path = LocalVersionPath();
  std::error_code error;
  if (std::filesystem::exists(path, error) || error) {
    return false;
  }
  std::ofstream file(path, std::ios::trunc);
  file << "DBVER=0\n";
  file.close();
  if (!file) {
    LogError("cannot write " + path);
    return false;
  }
  LogDebug("no catalogue version yet; starting from version 0");
  return true;
}

int CheckCatalogueVersion(const std::atomic<int>* stop) {
  std::ifstream local(LocalVersionPath());
  if (!local) {
    LogDebug("no local catalogue version file");
    return -1;
  }
  std::string line;
  const int localVersion = std::getline(local, line) ? VersionNumber(line) : 0;
  const std::string url = catalogueBaseUrl() + "/Ver3/DeskTop/verFile_DB.txt";
  const Result<std::string> remote = HttpGet(url, stop);
  if (!remote) {
    LogError("cannot read the catalogue version from " + url + ": " + remote.Error());
    return -2;
  }
  const int remoteVersion = VersionNumber(*remote);
  if (localVersion >= remoteVersion) {
    return 0;
  }
  ReplaceFile(PendingVersionPath(), *remote);
  LogDebug("catalogue server has version " + std::to_string(remoteVersion) + ", local " +
           std::to_string(localVersion));
  return 1;
}

std::string CheckDbAnswer(InitDataBase& definitions, const std::atomic<int>* stop) {
  if (CheckCatalogueVersion(stop) == 1) {
    return "1";
  }
  return definitions.CheckJanCode("paper_infos", "jan_code") ? "1" : "0";
}

std::optional<int> LocalCatalogueVersion() {
  std::ifstream file(LocalVersionPath());
  std::string line;
  if (!file || !std::getline(file, line)) {
    return std::nullopt;
  }
  return VersionNumber(line);
}

}  // namespace qb
