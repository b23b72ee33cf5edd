#pragma once

#include <string>

#include "app/form_layout.h"
#include "app/presenter.h"
#include "platform/clock.h"
#include "platform/wide_win.h"

/// The one window, native Win32: menu "&File" and the common-controls status bar with two
/// panels, through which a run reports. It places and paints; what it shows and when is the
/// presenter's.
class MainWindow : private form::Surface {
 public:
  enum Command : WORD { kMoveToArchive = 101, kShowVersion = 102, kExit = 103 };

  explicit MainWindow(const platform::Clock& clock);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override = default;

  /// Creates the window, placed from the stored settings, and shows it without blocking.
  void Show(int showCommand);
  HWND hwnd() const { return hwnd_; }

  void MoveToArchive();
  void ShowVersion();
  void Exit();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void LoadPlacement();
  void LayOutStatusBar();
  void FitVisibleFrame();
  double Dpi() const;
  void PaintPanels(const form::PanelTexts& panels) override;
  void ShowBox(run::Reporter::Kind kind, const std::string& text) override;
  void SetPart(int panel, const std::string& text);

  form::Presenter presenter_;
  HWND hwnd_ = nullptr;
  HWND status_ = nullptr;
  form::Rect placement_;  // the stored placement in pixels: the visible outer frame
  bool exitAsked_ = false;
};
