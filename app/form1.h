#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <functional>

#include "platform/clock.h"
#include "run/reporter.h"
#include "run/run_state.h"

class QAction;
class QLabel;

/// The one window: menu "&File" and the two-panel status bar through which a run reports.
class Form1 : public QMainWindow, public run::Reporter {
  Q_OBJECT

 public:
  /// Shows a modal message; tests replace it so that nothing blocks.
  using MessageBoxFn = std::function<void(QMessageBox::Icon, const QString& text)>;

  Form1(run::RunState& state, const platform::Clock& clock, QWidget* parent = nullptr);

  void SetPanelText(int panel, const std::string& text) override;
  void ShowMessage(Kind kind, const std::string& text) override;

  void setMessageBox(MessageBoxFn fn) { messageBox_ = std::move(fn); }
  QString panelText(int panel) const;
  QAction* MnuArchive = nullptr;
  QAction* MnuVersion = nullptr;
  QAction* MnuExit = nullptr;

  /// The placement from the stored settings, in pixels of this screen: outer frame.
  QRect storedPlacement() const;

 public slots:
  void MnuArchive_Click();
  void MnuVersion_Click();
  void MnuExit_Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();
  int Twips(double twips) const;

  run::RunState& state_;
  const platform::Clock& clock_;
  QLabel* panels_[2] = {};
  QRect placement_;
  bool frameCorrected_ = false;
  MessageBoxFn messageBox_;
};
