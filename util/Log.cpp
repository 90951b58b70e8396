#include "util/Log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "util/LogFile.h"
#include "util/RotatingLogFile.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

std::atomic<bool> g_verbose{false};
// Set once by StartLogFile and kept to the end of the process: any thread
// may still log while others end.
std::atomic<RotatingLogFile*> g_file{nullptr};

// "2026-12-11 03:34:00.123 +0000 ", the local time.
std::string TimeStamp() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  char text[48] = {};
  char zone[8] = {};
  if (localtime_r(&now.tv_sec, &local) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0 ||
      std::strftime(zone, sizeof zone, "%z", &local) == 0) {
    return {};
  }
  char stamp[80] = {};
  std::snprintf(stamp, sizeof stamp, "%s.%03ld %s ", text, now.tv_nsec / 1000000, zone);
  return stamp;
}

std::string g_name = "quillbox-server";

void WriteLine(std::string_view level, std::string_view message) {
  const std::string line = FormatLogLine(level, message);
  if (RotatingLogFile* file = g_file.load()) {
    file->Append(TimeStamp() + line);
  }
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

bool StandardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  struct stat info {};
  if (stream == nullptr || ::fstat(STDERR_FILENO, &info) != 0) {
    return false;
  }
  return std::string(stream) ==
         std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

std::string DefaultLogFile() { return GetStateFolder() + "/Tavrim/Quillbox/quillbox-server.log"; }

Result<> StartLogFile(const std::string& path, uint64_t maxBytes) {
  if (const RotatingLogFile* started = g_file.load()) {
    return Failure{"the log file is already " + started->Path()};
  }
  auto file = std::make_unique<RotatingLogFile>(path, maxBytes);
  if (Result<> opened = file->Open(); !opened) {
    return opened;
  }
  g_file.store(file.release());  // never freed: see g_file
  return {};
}

std::string LogFilePath() {
  const RotatingLogFile* file = g_file.load();
  return file != nullptr ? file->Path() : std::string();
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
