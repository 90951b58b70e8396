#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qbtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qbtest-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
  if (const char* old = std::getenv(name)) {
    m_old = old;
  }
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (m_old) {
    ::setenv(m_name.c_str(), m_old->c_str(), 1);
  } else {
    ::unsetenv(m_name.c_str());
  }
}

void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace qbtest
