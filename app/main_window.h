#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>

#include "app/form_layout.h"
#include "app/presenter.h"
#include "platform/clock.h"

class QAction;
class QLabel;

/// The one window: menu "&File" and the two-panel status bar through which a run reports.
/// It places and paints; what it shows and when is the presenter's.
class MainWindow : public QMainWindow, private form::Surface {
  Q_OBJECT

 public:
  /// Shows a modal message; tests replace it so that nothing blocks.
  using MessageBoxFn = std::function<void(QMessageBox::Icon, const QString& text)>;

  explicit MainWindow(const platform::Clock& clock, QWidget* parent = nullptr);

  /// The program's start: a window that deletes itself when closed, shown.
  static MainWindow* Open(const platform::Clock& clock);

  void setMessageBox(MessageBoxFn fn) { messageBox_ = std::move(fn); }
  QString panelText(int panel) const;
  QAction* archiveAction = nullptr;
  QAction* versionAction = nullptr;
  QAction* exitAction = nullptr;

  /// The placement from the stored settings, in pixels of this screen: outer frame.
  QRect storedPlacement() const;
  /// How many times the panels were painted while the window was shown.
  int panelPaints() const { return panelPaints_; }

 public slots:
  void MoveToArchive();
  void ShowVersion();
  void Exit();

 protected:
  bool event(QEvent* event) override;

 private:
  void LoadPlacement();
  /// Sizes the window so that its outer frame has the stored size, once the window
  /// manager's frame is known; until then the stored size is the window's own.
  void FitFrame();
  void PaintPanels(const form::PanelTexts& panels) override;
  void ShowBox(run::Reporter::Kind kind, const std::string& text) override;
  double Dpi() const;
  int Twips(double twips) const;

  form::Presenter presenter_;
  QLabel* panels_[2] = {};
  int panelPaints_ = 0;
  QRect placement_;
  bool frameFitted_ = false;
  QTimer frameWatch_;
  int frameChecks_ = 0;
  MessageBoxFn messageBox_;
};
