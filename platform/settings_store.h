#pragma once

#include <string>

namespace platform {

/// A text value of the current user's settings store, or `fallback` when there is none.
/// Only read: the program never writes its settings. On Linux the store is
/// `$XDG_CONFIG_HOME/<app>/<app>.conf`; on Windows the registry under
/// `HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>`.
std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& fallback);

}  // namespace platform
