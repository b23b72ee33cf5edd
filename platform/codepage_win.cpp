#include "platform/codepage.h"
#include "platform/wide_win.h"

namespace platform {
namespace {

// Windows' own case of one character, by the system's rules.
char32_t Cased(char32_t cp, DWORD(WINAPI* map)(LPWSTR, DWORD)) {
  if (cp > 0xFFFF) return cp;
  wchar_t c = static_cast<wchar_t>(cp);
  map(&c, 1);
  return c;
}

}  // namespace

const CodePage& SystemCodePage() {
  // The ANSI code page is fixed for the life of a process.
  static const CodePage page = CodePage::Build(
      GetACP(),
      [](unsigned char b, char32_t& cp) {
        const char byte = static_cast<char>(b);
        wchar_t c = 0;
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, &c, 1) != 1) return false;
        cp = c;
        return true;
      },
      [](char32_t cp) { return Cased(cp, CharUpperBuffW); },
      [](char32_t cp) { return Cased(cp, CharLowerBuffW); });
  return page;
}

}  // namespace platform
