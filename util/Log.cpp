#include "util/Log.h"

#include <unistd.h>

#include <atomic>
#include <string>

namespace qb {
namespace {

std::atomic<bool> g_verbose{false};

void WriteLine(std::string_view level, std::string_view message) {
  std::string line;
  line.reserve(level.size() + message.size() + 20);
  line.append("quillbox-server: ").append(level).append(message).push_back('\n');
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

void SetVerbose(bool verbose) { g_verbose.store(verbose); }
bool IsVerbose() { return g_verbose.load(std::memory_order_relaxed); }

void LogInfo(std::string_view message) { WriteLine("", message); }
void LogError(std::string_view message) { WriteLine("error: ", message); }
void LogDebug(std::string_view message) {
  if (IsVerbose()) {
    WriteLine("debug: ", message);
  }
}

}  // namespace qb
