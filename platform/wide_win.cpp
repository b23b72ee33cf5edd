#include "platform/wide_win.h"

#include <algorithm>

#include "platform/faults.h"

namespace platform::win {

std::wstring Wide(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), n);
  return wide;
}

// A character the code page lacks becomes '?', as on Linux, which no name of a file holds:
// Windows' best fit would make a look-alike of it ("Lodz" of "Łódź") that may name another file.
std::string Narrow(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const DWORD exact = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(CP_ACP, exact, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, exact, text.data(), size, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

std::wstring SystemPath(const std::string& absWinPath) {
  std::wstring path = Wide(absWinPath);
  if (path.size() == 2) path += L'\\';  // "C:" alone is the current folder of the drive
  const std::string& drive = faults::TestDrive();
  if (drive.empty() || path.size() < 2 || path[1] != L':' || (path[0] | 0x20) != L'c') return path;
  std::wstring root = Wide(drive);
  std::replace(root.begin(), root.end(), L'/', L'\\');
  return root + path.substr(2);
}

std::wstring LongPath(const std::string& absWinPath) { return L"\\\\?\\" + SystemPath(absWinPath); }

std::string Reason(DWORD err) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = n != 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' || words.back() == L'.'))
    words.pop_back();
  return words.empty() ? "system error " + std::to_string(err) : Narrow(words);
}

FileError Error(DWORD err, std::string path) {
  const bool missing = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ||
                       err == ERROR_INVALID_NAME || err == ERROR_BAD_PATHNAME;
  return FileError(missing ? FileError::Kind::kNotFound : FileError::Kind::kOther, std::move(path),
                   Reason(err));
}

}  // namespace platform::win
