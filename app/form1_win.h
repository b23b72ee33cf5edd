#pragma once

#include <string>

#include "app/form_layout.h"
#include "app/presenter.h"
#include "platform/clock.h"
#include "platform/wide_win.h"

/// The one window, native Win32: menu "&File" and the common-controls status bar with two
/// panels, through which a run reports. It places and paints; what it shows and when is the
/// presenter's.
class Form1 : private form::Surface {
 public:
  enum Command : WORD { kMnuArchive = 101, kMnuVersion = 102, kMnuExit = 103 };

  explicit Form1(const platform::Clock& clock);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override = default;

  /// Creates the window, placed from the stored settings, and shows it without blocking.
  void Show(int showCommand);
  HWND hwnd() const { return hwnd_; }

  void MnuArchive_Click();
  void MnuVersion_Click();
  void MnuExit_Click();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void Form_Load();
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
};
