#include "util/Log.h"

#include <unistd.h>

#include <atomic>
#include <string>

namespace qb {
namespace {

std::atomic<bool> g_verbose{false};
std::string g_name = "quillbox-server";

void WriteLine(std::string_view level, std::string_view message) {
  const std::string line = FormatLogLine(level, message);
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n <= 0) {
      return;
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::string FormatLogLine(std::string_view level, std::string_view message) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  line.reserve(level.size() + message.size() + 20);
  line.append(g_name).append(": ").append(level);
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      line.append("\\x").push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 0xf]);
    } else {
      line.push_back(c);
    }
  }
  line.push_back('\n');
  return line;
}

void SetLogName(std::string_view name) { g_name = name; }
void SetVerbose(bool verbose) { g_verbose.store(verbose); }
bool IsVerbose() { return g_verbose.load(std::memory_order_relaxed); }

void LogInfo(std::string_view message) { WriteLine("", message); }
void LogWarning(std::string_view message) { WriteLine("warning: ", message); }
void LogError(std::string_view message) { WriteLine("error: ", message); }
void LogDebug(std::string_view message) {
  if (IsVerbose()) {
    WriteLine("debug: ", message);
  }
}

}  // namespace qb
