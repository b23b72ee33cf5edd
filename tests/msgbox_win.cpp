// For the tests under Wine: waits for a dialog box and prints its text (in the system's code
// page), so that a test reads what the operator reads; optionally answers it.
//   msgbox [--caption TEXT] [--press ID]
// Without --caption it waits for Kelvaron's message box; with --caption "" for any dialog.
//   msgbox --panel1 | --parts
// prints the text of the first status panel of Kelvaron's window, or the number of parts of
// its status bar, instead.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
  char narrow[16384] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// A message box shows its text in a static control numbered 0xFFFF; other dialogs (the
// shell's questions) in static controls of their own: the longest of them is the text.
std::string TextOf(HWND box) {
  wchar_t text[8192] = {};
  if (GetDlgItemTextW(box, 0xFFFF, text, 8192) > 0) return Narrow(text);
  std::string longest;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") != 0) continue;
    SendMessageW(child, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text));
    const std::string words = Narrow(text);
    if (words.size() > longest.size()) longest = words;
  }
  return longest;
}

}  // namespace

// The status bar answers WM_GETTEXT, which the system carries between processes, with the
// text of its first part, and SB_GETPARTS without an array with the number of its parts.
int PrintStatusBar(bool parts) {
  HWND window = FindWindowW(L"KelvaronMainWindow", L"Kelvaron");
  HWND bar =
      window != nullptr ? FindWindowExW(window, nullptr, L"msctls_statusbar32", nullptr) : nullptr;
  if (bar == nullptr) {
    std::fprintf(stderr, "no status bar of Kelvaron\n");
    return 1;
  }
  if (parts) {
    std::printf("%d\n", static_cast<int>(SendMessageW(bar, SB_GETPARTS, 0, 0)));
    return 0;
  }
  wchar_t text[4096] = {};
  SendMessageW(bar, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
  std::printf("%s\n", Narrow(text).c_str());
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--panel1") == 0) return PrintStatusBar(false);
  if (argc == 2 && std::strcmp(argv[1], "--parts") == 0) return PrintStatusBar(true);
  std::wstring caption = L"Kelvaron";
  bool anyCaption = false;
  int press = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--caption") == 0) {
      const std::string c = argv[i + 1];
      anyCaption = c.empty();
      caption.assign(c.begin(), c.end());
    } else if (std::strcmp(argv[i], "--press") == 0) {
      press = std::atoi(argv[i + 1]);
    }
  }
  for (int i = 0; i < 300; ++i) {
    if (HWND box = FindWindowW(L"#32770", anyCaption ? nullptr : caption.c_str())) {
      // The icon of an error or a warning: a visible static control that holds an icon (its
      // number is 20 on Windows, 0x440 under Wine).
      bool icon = false;
      for (int id : {20, 0x440}) {
        HWND h = GetDlgItem(box, id);
        icon = icon || (h != nullptr && IsWindowVisible(h) && SendMessageW(h, STM_GETICON, 0, 0));
      }
      wchar_t title[256] = {};
      GetWindowTextW(box, title, 256);
      if (anyCaption) std::printf("[%s] ", Narrow(title).c_str());
      std::printf("%s%s\n", icon ? "[icon] " : "", TextOf(box).c_str());
      std::fflush(stdout);
      if (press != 0) PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(press), 0);
      return 0;
    }
    Sleep(100);
  }
  std::fprintf(stderr, "no dialog box within 30 s\n");
  return 1;
}
