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
#include "util/StagedFile.h"
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

Result<int> CountFromXml(std::string_view xml, const std::string& xpath) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    return Failure{std::string("not well-formed XML: ") + parsed.description()};
  }
  pugi::xpath_node node;
  try {
    node = document.select_node(xpath.c_str());
  } catch (const pugi::xpath_exception& error) {
    return Failure{"bad count path " + xpath + ": " + error.what()};
  }
  if (!node) {
    const pugi::xml_node root = document.document_element();
    return Failure{"no " + xpath + " in it (its root element is <" + root.name() + ">)"};
  }
  const std::string_view text = SkipLeadingSpace(node.node().text().get());
  if (text.empty() || text.front() < '0' || text.front() > '9') {
    return Failure{"its count \"" + std::string(text.substr(0, 40)) + "\" is not a number"};
  }
  return LeadingInt32(text);
}

namespace {

std::string LocalVersionPath() { return GetDataFolder() + "/verFile_DB.txt"; }
std::string PendingVersionPath() { return GetDataFolder() + "/New_verFile_DB.txt"; }

// Writes `text` to `path` in the data folder, replacing it in one step, so
// that a reader never sees a half-written version and a crash leaves the old
// one. False, logged, when it could not be written.
bool ReplaceFile(const std::string& path, const std::string& text) {
  Result<StagedFile> staged = StagedFile::Write(GetDataFolder(), text.data(), text.size());
  const Result<> saved =
      staged ? staged->PublishReplacing(path) : Result<>(Failure{staged.Error()});
  if (!saved) {
    LogError("cannot write " + path + ": " + saved.Error());
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
  constexpr std::string_view kFirstVersion = "DBVER=0\n";
  Result<StagedFile> staged =
      StagedFile::Write(GetDataFolder(), kFirstVersion.data(), kFirstVersion.size());
  if (!staged) {
    LogError("cannot write " + path + ": " + staged.Error());
    return false;
  }
  if (staged->PublishNew(path) != NewFileResult::kWritten) {
    return false;  // written meanwhile by someone else, or logged
  }
  LogDebug("no catalogue version yet; starting from version 0");
  return true;
}

VersionCheck CheckCatalogueVersion(const std::atomic<bool>* stop) {
  std::ifstream local(LocalVersionPath());
  if (!local) {
    LogDebug("no local catalogue version file");
    return VersionCheck::kNoLocalVersion;
  }
  std::string line;
  const int localVersion = std::getline(local, line) ? VersionNumber(line) : 0;
  const std::string url = catalogueBaseUrl() + "/Ver3/DeskTop/verFile_DB.txt";
  const Result<std::string> remote = HttpGet(url, stop);
  if (!remote) {
    LogError("cannot read the catalogue version from " + url + ": " + remote.Error());
    return VersionCheck::kServerUnreadable;
  }
  const int remoteVersion = VersionNumber(*remote);
  if (localVersion >= remoteVersion) {
    return VersionCheck::kUpToDate;
  }
  ReplaceFile(PendingVersionPath(), *remote);
  LogDebug("catalogue server has version " + std::to_string(remoteVersion) + ", local " +
           std::to_string(localVersion));
  return VersionCheck::kServerNewer;
}

std::string CheckDbAnswer(CatalogueSchema& definitions, const std::atomic<bool>* stop) {
  if (CheckCatalogueVersion(stop) == VersionCheck::kServerNewer) {
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
