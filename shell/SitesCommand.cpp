#include "shell/SitesCommand.h"

#include <cstdio>
#include <optional>

#include "context/OriginPolicy.h"
#include "context/ServerConfig.h"
#include "util/ConfigFiles.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

std::string Describe(const SiteEntry& entry) {
  return std::string(entry.allowed ? "allowed " : "denied ") + entry.origin + " (" +
         SiteList::SourceName(entry.source) + ", " + entry.file + ")";
}

int Refuse(const std::string& message) {
  std::fprintf(stderr, "quillbox-server: %s\n", message.c_str());
  return 1;
}

}  // namespace

std::string SitesText(const std::vector<SiteEntry>& entries, bool asks,
                      const std::string& asksSource) {
  std::string text;
  for (const SiteEntry& entry : entries) {
    text += Describe(entry) + "\n";
  }
  if (entries.empty()) {
    text += "no site is allowed or denied\n";
  }
  text += asks ? "other sites: the user is asked about each (when a display is available)\n"
               : "other sites: refused without asking ([Server] askForNewSites=false, " +
                     asksSource + ")\n";
  return text;
}

int ListSites() {
  const ServerConfig config = ServerConfig::Load();
  std::string asksSource;
  for (const ConfigSetting& setting : config.Settings()) {
    if (setting.name == "[Server] askForNewSites") {
      asksSource = setting.source;
    }
  }
  const std::string text =
      SitesText(SiteList::List(config.Files()), config.AsksForNewSites(), asksSource);
  std::fputs(text.c_str(), stdout);
  return 0;
}

int ForgetSite(const std::string& text) {
  const std::optional<std::string> origin = NormalizeOrigin(text);
  if (!origin) {
    return Refuse("not an origin (scheme://host[:port] or null): " + text);
  }
  const Result<std::optional<SiteEntry>> forgotten = SiteList::Forget(*origin);
  if (!forgotten) {
    return Refuse("cannot forget " + *origin + ": " + forgotten.Error());
  }
  // What still lists it, now that the user's file does not.
  std::optional<SiteEntry> remaining;
  for (const SiteEntry& entry : SiteList::List()) {
    if (entry.origin == *origin) {
      remaining = entry;
    }
  }
  if (!*forgotten) {
    if (remaining) {
      return Refuse(*origin + " is not in the user's file " + GetConfigFile() + "; it is " +
                    Describe(*remaining) + ", which only an administrator can change");
    }
    return Refuse(*origin + " is not listed in " + GetConfigFile());
  }
  std::string line = "forgot " + Describe(**forgotten);
  if (remaining) {
    line += "; still " + Describe(*remaining);
  }
  std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace qb
