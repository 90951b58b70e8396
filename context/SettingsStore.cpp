#include "context/SettingsStore.h"

#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {

SettingsStore::SettingsStore() { SetKey(kServerKey); }

SettingsStore::~SettingsStore() = default;

bool SettingsStore::SetKey(std::string_view path) {
  m_strKey = std::string(path);
  return !path.empty();
}

std::optional<SettingsStore::KeyLocation> SettingsStore::Location() const {
  const std::vector<std::string> parts = Split(m_strKey, "\\");
  // "Software", at least one file part, and the group.
  if (parts.size() < 3 || parts.front() != "Software") {
    return std::nullopt;
  }
  KeyLocation location;
  for (size_t i = 1; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == "." || parts[i] == "..") {
      return std::nullopt;
    }
    location.file += (location.file.empty() ? "" : "/") + parts[i];
  }
  location.file += ".conf";
  location.group = parts.back();
  return location;
}

std::optional<std::string> SettingsStore::ReadValue(const std::string& name) const {
  const std::optional<KeyLocation> location = Location();
  if (!location) {
    return std::nullopt;
  }
  std::optional<ConfigEntry> entry = ConfigFiles::Read(location->file).Find(location->group, name);
  if (!entry) {
    return std::nullopt;
  }
  return std::move(entry->value);
}

bool SettingsStore::WriteValue(const std::string& name, const std::string& value) const {
  const std::optional<KeyLocation> location = Location();
  if (!location) {
    return false;
  }
  // Only the user's own file is written; the system-wide ones stay the
  // administrator's.
  if (const Result<> written =
          WriteConfigValue(GetConfigFolder() + "/" + location->file, location->group, name, value);
      !written) {
    LogError("cannot store " + name + ": " + written.Error());
    return false;
  }
  return true;
}

std::optional<uint32_t> SettingsStore::ReadDword(const std::string& name) const {
  const std::optional<std::string> text = ReadValue(name);
  return text ? ParseDword(*text) : std::nullopt;
}

std::optional<uint32_t> ParseDword(std::string_view text) {
  const std::optional<uint64_t> value = ParseDecimal(text, 10);
  if (!value || *value > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(*value);
}

}  // namespace qb
