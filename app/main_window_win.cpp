#include "app/main_window_win.h"

#include <commctrl.h>
#include <dwmapi.h>

#include <vector>

#include "platform/settings_store.h"
#include "platform/wide_win.h"
#include "run/run.h"

namespace {

constexpr wchar_t kClassName[] = L"KelvaronMainWindow";

std::wstring Wide(const std::string& text) { return platform::win::Wide(text); }

// How the user's locale writes a number, for the stored placement.
form::NumberFormat UserNumberFormat() {
  form::NumberFormat format;
  wchar_t text[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, text, 8) > 1 && text[0] < 0x80) {
    format.decimalPoint = static_cast<char>(text[0]);
  }
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, text, 8) > 1 && text[0] < 0x80) {
    format.groupSeparator = static_cast<char>(text[0]);
  }
  return format;
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcWork;
    reinterpret_cast<std::vector<form::Rect>*>(areas)->push_back(
        {r.left, r.top, r.right - r.left, r.bottom - r.top});
  }
  return TRUE;
}

}  // namespace

MainWindow::MainWindow(const platform::Clock& clock)
    : presenter_(*this, [&clock](run::Reporter& reporter) {
        run::ArchiveMarkedBulletins(reporter, clock);
      }) {}

double MainWindow::Dpi() const {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void MainWindow::Show(int showCommand) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  cls.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
  cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  cls.lpszClassName = kClassName;
  RegisterClassExW(&cls);

  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kMoveToArchive, Wide(form::kMenuArchive).c_str());
  AppendMenuW(file, MF_STRING, kShowVersion, Wide(form::kMenuVersion).c_str());
  AppendMenuW(file, MF_STRING, kExit, Wide(form::kMenuExit).c_str());
  HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Wide(form::kMenuFile).c_str());

  hwnd_ =
      CreateWindowExW(0, kClassName, Wide(form::kTitle).c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, bar, instance, this);
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                            nullptr, instance, nullptr);
  const int height = form::Pixels(form::kStatusBarHeight, Dpi()).value_or(25);
  int borders[3] = {};
  SendMessageW(status_, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
  SendMessageW(status_, SB_SETMINHEIGHT, static_cast<WPARAM>(height - 2 * borders[1]), 0);
  LoadPlacement();
  LayOutStatusBar();
  SetPart(1, presenter_.Text(1));
  SetPart(2, presenter_.Text(2));
  ShowWindow(hwnd_, showCommand);
  FitVisibleFrame();
  UpdateWindow(hwnd_);
}

// Since Windows 10 the window rectangle holds invisible resize borders around the frame the
// user sees; the stored placement is that visible frame.
void MainWindow::FitVisibleFrame() {
  RECT window{}, visible{};
  if (!GetWindowRect(hwnd_, &window) ||
      FAILED(DwmGetWindowAttribute(hwnd_, DWMWA_EXTENDED_FRAME_BOUNDS, &visible, sizeof visible))) {
    return;
  }
  const int left = visible.left - window.left, top = visible.top - window.top;
  const int right = window.right - visible.right, bottom = window.bottom - visible.bottom;
  if (left == 0 && top == 0 && right == 0 && bottom == 0) return;
  SetWindowPos(hwnd_, nullptr, placement_.left - left, placement_.top - top,
               placement_.width + left + right, placement_.height + top + bottom,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// The stored placement is the outer frame, which is what the window rectangle is.
void MainWindow::LoadPlacement() {
  form::StoredTexts stored;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    std::string text =
        platform::GetSetting(form::kTitle, form::kSettingsSection, form::kPlacementKeys[i].key, "");
    if (!text.empty()) stored[i] = std::move(text);
  }
  std::vector<form::Rect> areas;
  EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&areas));
  placement_ = form::Placement(stored, UserNumberFormat(), Dpi(), areas);
  const form::Rect& r = placement_;
  SetWindowPos(hwnd_, nullptr, r.left, r.top, r.width, r.height,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void MainWindow::LayOutStatusBar() {
  if (status_ == nullptr) return;
  SendMessageW(status_, WM_SIZE, 0, 0);  // the bar docks itself at the bottom
  RECT client{};
  GetClientRect(status_, &client);
  const int width = form::PanelWidth(client.right - client.left, Dpi());
  // Two equal panels and no more: the bar draws a segment for every part it is given, and a
  // last part reaching to -1 would take the free end too, so the end is no part at all.
  const int edges[2] = {width, 2 * width};
  SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
}

void MainWindow::SetPart(int panel, const std::string& text) {
  const std::wstring wide = Wide(text);
  SendMessageW(status_, SB_SETTEXTW, static_cast<WPARAM>(panel - 1),
               reinterpret_cast<LPARAM>(wide.c_str()));
}

void MainWindow::PaintPanels(const form::PanelTexts& panels) {
  for (int i = 0; i < 2; ++i) {
    if (panels.changed[i]) SetPart(i + 1, panels.texts[i]);
  }
  UpdateWindow(status_);
}

void MainWindow::ShowBox(run::Reporter::Kind kind, const std::string& text) {
  using Kind = run::Reporter::Kind;
  const UINT icon = kind == Kind::kError     ? MB_ICONERROR
                    : kind == Kind::kWarning ? MB_ICONWARNING
                                             : 0;
  MessageBoxW(hwnd_, Wide(text).c_str(), Wide(form::kTitle).c_str(), MB_OK | icon);
}

void MainWindow::MoveToArchive() {
  presenter_.Archive();
  if (exitAsked_ && !presenter_.Running()) Exit();
}

void MainWindow::ShowVersion() { presenter_.ShowVersion(); }

// The shell's own boxes (a bulletin the Recycle Bin cannot take) belong to no window and run
// the window's events: an exit asked for meanwhile waits until the run has told its end.
void MainWindow::Exit() {
  exitAsked_ = presenter_.Running();
  if (!exitAsked_) DestroyWindow(hwnd_);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form == nullptr || form->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return form->Handle(msg, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      LayOutStatusBar();
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kMoveToArchive:
          MoveToArchive();
          return 0;
        case kShowVersion:
          ShowVersion();
          return 0;
        case kExit:
          Exit();
          return 0;
      }
      break;
    case WM_CLOSE:
      Exit();
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      status_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}
