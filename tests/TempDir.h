// Test helpers: a temporary folder removed with everything in it, an
// environment variable set for one scope, and writing and reading a file.
#pragma once

#include <optional>
#include <string>

namespace qbtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// Writes `content` to `path`, creating missing folders.
void WriteFile(const std::string& path, const std::string& content);

// The whole content of the file at `path` (empty when it cannot be read).
std::string ReadAll(const std::string& path);

}  // namespace qbtest
