#include "app/CReg.h"

#include "util/ConfigFiles.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {

CReg::CReg() { SetKey(kServerKey); }

CReg::~CReg() = default;

int CReg::SetKey(std::string_view path) {
  m_strKey = std::string(path);
  return path.empty() ? 0 : 1;
}

std::optional<std::string> CReg::ReadValue(const std::string& name) const {
  const std::vector<std::string> parts = Split(m_strKey, "\\");
  // "Software", at least one file part, and the group.
  if (parts.size() < 3 || parts.front() != "Software") {
    return std::nullopt;
  }
  std::string file;
  for (size_t i = 1; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == "." || parts[i] == "..") {
      return std::nullopt;
    }
    file += (file.empty() ? "" : "/") + parts[i];
  }
  std::optional<ConfigEntry> entry = ConfigFiles::Read(file + ".conf").Find(parts.back(), name);
  if (!entry) {
    return std::nullopt;
  }
  return std::move(entry->value);
}

std::optional<uint32_t> CReg::ReadDword(const std::string& name) const {
  const std::optional<std::string> text = ReadValue(name);
  return text ? ParseDword(*text) : std::nullopt;
}

std::optional<uint32_t> ParseDword(std::string_view text) {
  if (text.empty() || text.size() > 10) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace qb
