// Test helper: a user's configuration folder and one system-wide folder of
// their own for the scope of a test, with the paths of the configuration
// file in each.
#pragma once

#include <string>

#include "TempDir.h"

namespace qbtest {

class ConfigFolders {
 public:
  std::string UserFile() const { return m_user.Path() + "/Tavrim/Quillbox.conf"; }
  std::string SystemFile() const { return m_system.Path() + "/Tavrim/Quillbox.conf"; }

 private:
  TempDir m_user;
  TempDir m_system;
  ScopedEnv m_home{"XDG_CONFIG_HOME", m_user.Path()};
  ScopedEnv m_dirs{"XDG_CONFIG_DIRS", m_system.Path()};
};

}  // namespace qbtest
