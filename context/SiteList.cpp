#include "context/SiteList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "context/OriginPolicy.h"
#include "util/ConfigFiles.h"
#include "util/Text.h"
#include "util/UniqueFd.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr std::string_view kGroup = "Server";

// Holds an exclusive lock on the folder of the user's file while it lives.
class FolderLock {
 public:
  static Result<FolderLock> Take(const std::string& file) {
    const std::string folder = std::filesystem::path(file).parent_path().string();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    FolderLock lock;
    lock.m_fd.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!lock.m_fd.Valid()) {
      return Failure{"cannot open " + folder + ": " + std::strerror(errno)};
    }
    while (::flock(lock.m_fd.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        return Failure{"cannot lock " + folder + ": " + std::strerror(errno)};
      }
    }
    return lock;
  }

 private:
  UniqueFd m_fd;  // closing it releases the lock
};

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

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

// True when `word` names `origin` (compared form).
bool Names(const std::string& word, const std::string& origin) {
  return NormalizeOrigin(word) == origin;
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

}  // namespace

Result<> SiteList::Remember(const std::string& origin, bool allowed) {
  const std::string file = GetConfigFile();
  Result<FolderLock> lock = FolderLock::Take(file);
  if (!lock) {
    return Failure{lock.Error()};
  }
  // The lists in effect: a key the user's file does not hold yet starts from
  // the value of the system-wide file, so that writing it changes nothing
  // else.
  const ConfigFiles files = ConfigFiles::Read();
  const auto value = [&](std::string_view key) -> std::optional<std::string> {
    std::optional<ConfigEntry> entry = files.Find(kGroup, key);
    return entry ? std::optional<std::string>(std::move(entry->value)) : std::nullopt;
  };
  std::vector<std::string> allowedList = Words(value("allowedOrigins"));
  std::vector<std::string> deniedList = Words(value("deniedOrigins"));
  std::vector<std::string> answered = Words(value("answeredOrigins"));
  std::vector<std::string>& to = allowed ? allowedList : deniedList;
  std::vector<std::string>& from = allowed ? deniedList : allowedList;
  const bool wasOnOther = Holds(from, origin);
  Remove(from, origin);
  const bool anyAllowed = allowed && std::find(to.begin(), to.end(), "*") != to.end();
  if (!Holds(to, origin) && !anyAllowed) {
    to.push_back(origin);
  }
  if (!Holds(answered, origin)) {
    answered.push_back(origin);
  }
  // Answers no longer on either list are forgotten; past the bound, the
  // oldest denied answers go.
  answered.erase(std::remove_if(answered.begin(), answered.end(),
                                [&](const std::string& word) {
                                  const std::optional<std::string> normal = NormalizeOrigin(word);
                                  return !normal || (!Holds(allowedList, *normal) &&
                                                     !Holds(deniedList, *normal));
                                }),
                 answered.end());
  const auto isAnswer = [&](const std::string& word) {
    const std::optional<std::string> normal = NormalizeOrigin(word);
    return normal && Holds(answered, *normal);
  };
  size_t deniedAnswers = static_cast<size_t>(
      std::count_if(deniedList.begin(), deniedList.end(), isAnswer));
  for (auto it = deniedList.begin();
       deniedAnswers > kMaxRememberedDenials && it != deniedList.end();) {
    if (isAnswer(*it)) {
      Remove(answered, *NormalizeOrigin(*it));
      it = deniedList.erase(it);
      --deniedAnswers;
    } else {
      ++it;
    }
  }
  std::vector<std::pair<std::string, std::string>> values = {
      {allowed ? "allowedOrigins" : "deniedOrigins", Joined(to)},
      {"answeredOrigins", Joined(answered)}};
  if (wasOnOther) {
    values.emplace_back(allowed ? "deniedOrigins" : "allowedOrigins", Joined(from));
  }
  return WriteConfigValues(file, std::string(kGroup), values);
}

Result<> SiteList::SetAsking(bool asks) {
  const std::string file = GetConfigFile();
  Result<FolderLock> lock = FolderLock::Take(file);
  if (!lock) {
    return Failure{lock.Error()};
  }
  return WriteConfigValue(file, std::string(kGroup), "askForNewSites", asks ? "true" : "false");
}

}  // namespace qb
