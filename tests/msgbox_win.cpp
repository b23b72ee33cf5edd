// For the end-to-end test: waits for the message box of Kelvaron.exe and prints its text
// (in the system's code page), so that the test reads what the operator reads.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  for (int i = 0; i < 300; ++i) {
    // A message box is a dialog (#32770) captioned with the program's title.
    if (HWND box = FindWindowW(L"#32770", L"Kelvaron")) {
      wchar_t text[8192] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 8192);
      char narrow[16384] = {};
      WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
      // The icon of an error or a warning: a visible static control that holds an icon
      // (its number is 20 on Windows, 0x440 under Wine).
      bool icon = false;
      for (int id : {20, 0x440}) {
        HWND h = GetDlgItem(box, id);
        icon = icon || (h != nullptr && IsWindowVisible(h) && SendMessageW(h, STM_GETICON, 0, 0));
      }
      std::printf("%s%s\n", icon ? "[icon] " : "", narrow);
      return 0;
    }
    Sleep(100);
  }
  std::fprintf(stderr, "no message box of Kelvaron within 30 s\n");
  return 1;
}
