#include <windows.h>

#include <commctrl.h>

#include "app/main_window_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  static const platform::SystemClock clock;
  MainWindow window(clock);
  window.Show(showCommand);
  // The program lives while its window does; Exit and the close box destroy it.
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
