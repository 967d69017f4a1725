#pragma once

#include <cstdlib>
#include <string>

#include "config/setting_util.h"
#include "support/temp_folder.h"

namespace kestrine::testing {

// Points the configuration folder and the home folder at a temporary
// folder and gives the process a fresh settings object; undone on exit.
class ConfigHome {
 public:
  ConfigHome() {
    Save("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    Save("HOME", savedHome_, hadHome_);
    setenv("XDG_CONFIG_HOME", (folder_.path() / "config").c_str(), 1);
    setenv("HOME", (folder_.path() / "home").c_str(), 1);
    SettingUtil::ResetInstance();
  }
  ~ConfigHome() {
    Restore("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    Restore("HOME", savedHome_, hadHome_);
    SettingUtil::ResetInstance();
  }
  const TempFolder& folder() const { return folder_; }

 private:
  static void Save(const char* name, std::string& value, bool& had) {
    const char* current = std::getenv(name);
    had = current != nullptr;
    if (had) value = current;
  }
  static void Restore(const char* name, const std::string& value, bool had) {
    if (had) {
      setenv(name, value.c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  TempFolder folder_;
  std::string savedConfig_, savedHome_;
  bool hadConfig_ = false, hadHome_ = false;
};

}  // namespace kestrine::testing
