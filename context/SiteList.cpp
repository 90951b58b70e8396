#include "context/SiteList.h"

#include <algorithm>
#include <utility>

#include "util/ConfigFolderLock.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr std::string_view kGroup = "Server";
constexpr std::string_view kAllowedKey = "allowedOrigins";
constexpr std::string_view kDeniedKey = "deniedOrigins";
constexpr std::string_view kAnsweredKey = "answeredOrigins";

// The words of a list value, as written.
std::vector<std::string> Words(const std::optional<std::string>& value) {
  std::vector<std::string> words;
  if (value) {
    for (const std::string_view word : BlankSeparated(*value)) {
      words.emplace_back(word);
    }
  }
  return words;
}

// True when `word` names `origin` (compared form, or "*").
bool Names(const std::string& word, const std::string& origin) {
  return word == origin || NormalizeOrigin(word) == origin;
}

bool Holds(const std::vector<std::string>& words, const std::string& origin) {
  return std::any_of(words.begin(), words.end(),
                     [&](const std::string& word) { return Names(word, origin); });
}

void Remove(std::vector<std::string>& words, const std::string& origin) {
  words.erase(std::remove_if(words.begin(), words.end(),
                             [&](const std::string& word) { return Names(word, origin); }),
              words.end());
}

// The value of [Server] `key` in the file at `path` of `files`: its first
// such key, as ConfigFiles reads a file.
std::optional<std::string> FileValue(const ConfigFiles& files, const std::string& path,
                                     std::string_view key) {
  for (const ConfigEntry& entry : files.Entries()) {
    if (entry.file == path && EqualsIgnoreCase(entry.group, kGroup) &&
        EqualsIgnoreCase(entry.key, key)) {
      return entry.value;
    }
  }
  return std::nullopt;
}

// The three lists of the user's file, as written.
struct UserLists {
  std::optional<std::string> values[3];  // allowed, denied, answered as read
  std::vector<std::string> allowed;
  std::vector<std::string> denied;
  std::vector<std::string> answered;

  static UserLists Read(const std::string& file) {
    const ConfigFiles files = ConfigFiles::ReadPaths({file});
    UserLists lists;
    lists.values[0] = FileValue(files, file, kAllowedKey);
    lists.values[1] = FileValue(files, file, kDeniedKey);
    lists.values[2] = FileValue(files, file, kAnsweredKey);
    lists.allowed = Words(lists.values[0]);
    lists.denied = Words(lists.values[1]);
    lists.answered = Words(lists.values[2]);
    return lists;
  }

  // Puts `origin` on one list and off the other.
  void Place(const std::string& origin, bool onAllowed) {
    Remove(onAllowed ? denied : allowed, origin);
    std::vector<std::string>& to = onAllowed ? allowed : denied;
    const bool any = onAllowed && std::find(to.begin(), to.end(), "*") != to.end();
    if (!Holds(to, origin) && !any) {
      to.push_back(origin);
    }
  }

  // Forgets answers no longer on either list and, past the bound, the
  // oldest denied answers.
  void Bound() {
    answered.erase(std::remove_if(answered.begin(), answered.end(),
                                  [&](const std::string& word) {
                                    const std::optional<std::string> normal =
                                        NormalizeOrigin(word);
                                    return !normal || (!Holds(allowed, *normal) &&
                                                       !Holds(denied, *normal));
                                  }),
                   answered.end());
    const auto isAnswer = [&](const std::string& word) {
      const std::optional<std::string> normal = NormalizeOrigin(word);
      return normal && Holds(answered, *normal);
    };
    auto answers = static_cast<size_t>(std::count_if(denied.begin(), denied.end(), isAnswer));
    for (auto it = denied.begin(); answers > kMaxRememberedDenials && it != denied.end();) {
      if (isAnswer(*it)) {
        Remove(answered, *NormalizeOrigin(*it));
        it = denied.erase(it);
        --answers;
      } else {
        ++it;
      }
    }
  }

  // Writes the lists that changed.
  Result<> Write(const std::string& file) const {
    const std::string_view keys[3] = {kAllowedKey, kDeniedKey, kAnsweredKey};
    const std::vector<std::string>* lists[3] = {&allowed, &denied, &answered};
    std::vector<std::pair<std::string, std::string>> changed;
    for (size_t i = 0; i < 3; ++i) {
      if (Words(values[i]) != *lists[i]) {
        changed.emplace_back(std::string(keys[i]), ListValue(*lists[i]));
      }
    }
    if (changed.empty()) {
      return {};
    }
    return WriteConfigValues(file, std::string(kGroup), changed);
  }
};

// Runs `edit` on the user's lists under the folder lock, then writes them.
template <typename Edit>
Result<> ChangeUserLists(Edit edit) {
  const std::string file = GetConfigFile();
  Result<ConfigFolderLock> lock = ConfigFolderLock::Take(file);
  if (!lock) {
    return Failure{lock.Error()};
  }
  UserLists lists = UserLists::Read(file);
  edit(lists);
  lists.Bound();
  return lists.Write(file);
}

}  // namespace

std::vector<SiteEntry> SiteList::List(const ConfigFiles& files) {
  std::vector<SiteEntry> entries;
  std::vector<std::string> listed;  // origins a more important file lists
  for (size_t rank = 0; rank < files.Files().size(); ++rank) {
    const std::string& path = files.Files()[rank].path;
    const std::vector<std::string> allowed = Words(FileValue(files, path, kAllowedKey));
    const std::vector<std::string> denied = Words(FileValue(files, path, kDeniedKey));
    const std::vector<std::string> answered =
        rank == 0 ? Words(FileValue(files, path, kAnsweredKey)) : std::vector<std::string>();
    std::vector<std::string> here;
    const auto add = [&](const std::string& word, bool isAllowed) {
      std::string origin = word;
      if (word != "*") {
        std::optional<std::string> normal = NormalizeOrigin(word);
        if (!normal) {
          return;  // warned about by the configuration check
        }
        origin = std::move(*normal);
      } else if (!isAllowed) {
        return;
      }
      if (std::find(listed.begin(), listed.end(), origin) != listed.end() ||
          std::find(here.begin(), here.end(), origin) != here.end() ||
          (isAllowed && origin != "*" && Holds(denied, origin))) {
        return;
      }
      here.push_back(origin);
      const SiteSource source = rank != 0                ? SiteSource::kSystemFile
                                : Holds(answered, origin) ? SiteSource::kAnswer
                                                          : SiteSource::kUserFile;
      entries.push_back({std::move(origin), isAllowed, source, path});
    };
    for (const std::string& word : allowed) {
      add(word, true);
    }
    for (const std::string& word : denied) {
      add(word, false);
    }
    listed.insert(listed.end(), here.begin(), here.end());
  }
  return entries;
}

OriginPolicy SiteList::Policy(const std::vector<SiteEntry>& entries, bool asks) {
  std::string allowed;
  std::string denied;
  for (const SiteEntry& entry : entries) {
    std::string& list = entry.allowed ? allowed : denied;
    list += (list.empty() ? "" : " ") + entry.origin;
  }
  return OriginPolicy::FromConfig(allowed, denied, nullptr).WithAsking(asks);
}

Result<> SiteList::Remember(const std::string& origin, bool allowed) {
  return ChangeUserLists([&](UserLists& lists) {
    lists.Place(origin, allowed);
    if (!Holds(lists.answered, origin)) {
      lists.answered.push_back(origin);
    }
  });
}

Result<> SiteList::Set(const std::string& origin, bool allowed) {
  return ChangeUserLists([&](UserLists& lists) {
    lists.Place(origin, allowed);
    Remove(lists.answered, origin);
  });
}

Result<std::optional<SiteEntry>> SiteList::Forget(const std::string& origin) {
  std::optional<SiteEntry> forgotten;
  Result<> changed = ChangeUserLists([&](UserLists& lists) {
    const bool denied = Holds(lists.denied, origin);
    if (!denied && !Holds(lists.allowed, origin)) {
      return;
    }
    forgotten = SiteEntry{origin, !denied,
                          Holds(lists.answered, origin) ? SiteSource::kAnswer
                                                        : SiteSource::kUserFile,
                          GetConfigFile()};
    Remove(lists.allowed, origin);
    Remove(lists.denied, origin);
    Remove(lists.answered, origin);
  });
  if (!changed) {
    return Failure{changed.Error()};
  }
  return forgotten;
}

Result<> SiteList::SetAsking(bool asks) {
  const std::string file = GetConfigFile();
  Result<ConfigFolderLock> lock = ConfigFolderLock::Take(file);
  if (!lock) {
    return Failure{lock.Error()};
  }
  return WriteConfigValue(file, std::string(kGroup), "askForNewSites", asks ? "true" : "false");
}

std::string SiteList::SourceName(SiteSource source) {
  switch (source) {
    case SiteSource::kAnswer:
      return "an answer to the question";
    case SiteSource::kUserFile:
      return "the user's file";
    case SiteSource::kSystemFile:
      return "the system file";
  }
  return {};
}

}  // namespace qb
