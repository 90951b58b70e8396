#include "context/CReg.h"

#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {

CReg::CReg() { SetKey(kServerKey); }

CReg::~CReg() = default;

int CReg::SetKey(std::string_view path) {
  m_strKey = std::string(path);
  return path.empty() ? 0 : 1;
}

bool CReg::Location(std::string* file, std::string* group) const {
  const std::vector<std::string> parts = Split(m_strKey, "\\");
  // "Software", at least one file part, and the group.
  if (parts.size() < 3 || parts.front() != "Software") {
    return false;
  }
  file->clear();
  for (size_t i = 1; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == "." || parts[i] == "..") {
      return false;
    }
    *file += (file->empty() ? "" : "/") + parts[i];
  }
  *file += ".conf";
  *group = parts.back();
  return true;
}

std::optional<std::string> CReg::ReadValue(const std::string& name) const {
  std::string file;
  std::string group;
  if (!Location(&file, &group)) {
    return std::nullopt;
  }
  std::optional<ConfigEntry> entry = ConfigFiles::Read(file).Find(group, name);
  if (!entry) {
    return std::nullopt;
  }
  return std::move(entry->value);
}

bool CReg::WriteValue(const std::string& name, const std::string& value) const {
  std::string file;
  std::string group;
  std::string error;
  if (!Location(&file, &group)) {
    return false;
  }
  // Only the user's own file is written; the system-wide ones stay the
  // administrator's.
  if (!WriteConfigValue(GetConfigFolder() + "/" + file, group, name, value, &error)) {
    LogError("cannot store " + name + ": " + error);
    return false;
  }
  return true;
}

std::optional<uint32_t> CReg::ReadDword(const std::string& name) const {
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
