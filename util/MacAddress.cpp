#include "util/MacAddress.h"

#include <net/if.h>

#include <cstdio>
#include <fstream>

#include "util/Log.h"

namespace qb {
namespace {

constexpr int kLoopbackType = 772;  // ARPHRD_LOOPBACK

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool ParseHardwareAddress(const std::string& text, std::array<unsigned char, 6>* bytes) {
  unsigned int b[6];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
                  &b[5], &tail) != 6) {
    return false;
  }
  bool allZero = true;
  for (size_t i = 0; i < 6; ++i) {
    (*bytes)[i] = static_cast<unsigned char>(b[i]);
    allZero = allZero && b[i] == 0;
  }
  return !allZero;
}

}  // namespace

std::string FormatMacAddress(const std::array<unsigned char, 6>& bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%X-%X-%X-%X-%X-%X", bytes[0], bytes[1], bytes[2], bytes[3],
                bytes[4], bytes[5]);
  return text;
}

std::string GetMacAddressFrom(const std::string& netRoot,
                              const std::vector<std::string>& interfaceNames) {
  for (const std::string& name : interfaceNames) {
    const std::string folder = netRoot + "/" + name;
    if (ReadFirstLine(folder + "/type") == std::to_string(kLoopbackType)) {
      continue;
    }
    std::array<unsigned char, 6> bytes{};
    if (ParseHardwareAddress(ReadFirstLine(folder + "/address"), &bytes)) {
      return FormatMacAddress(bytes);
    }
  }
  return {};
}

std::string GetMacAddress() {
  std::vector<std::string> names;
  if (struct if_nameindex* list = ::if_nameindex(); list != nullptr) {
    for (const struct if_nameindex* it = list; it->if_index != 0 && it->if_name != nullptr; ++it) {
      names.emplace_back(it->if_name);
    }
    ::if_freenameindex(list);
  }
  std::string identity = GetMacAddressFrom("/sys/class/net", names);
  if (identity.empty()) {
    LogDebug("no network interface with a hardware address; machine identity is empty");
  }
  return identity;
}

}  // namespace qb
