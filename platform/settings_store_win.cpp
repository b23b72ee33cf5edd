#include <windows.h>

#include <vector>

#include "platform/settings_store.h"
#include "platform/wide_win.h"

namespace platform {

// Where the classic GetSetting of Windows programs keeps its values, so that placements
// stored there keep working: HKCU\Software\VB and VBA Program Settings\<app>\<section>.
std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& fallback) {
  const std::wstring path =
      L"Software\\VB and VBA Program Settings\\" + win::Wide(app) + L"\\" + win::Wide(section);
  const std::wstring name = win::Wide(key);
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, &type, nullptr,
                   &bytes) != ERROR_SUCCESS) {
    return fallback;
  }
  std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, &type,
                   value.data(), &bytes) != ERROR_SUCCESS) {
    return fallback;
  }
  return win::Narrow(value.data());
}

}  // namespace platform
