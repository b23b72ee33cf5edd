#include "app/form1.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

#include "platform/codepage.h"
#include "platform/settings_store.h"
#include "run/archive_run.h"

namespace {

constexpr char kTitle[] = "Kelvaron";

QString FromCp1252(const std::string& text) {
  return QString::fromStdString(platform::Cp1252ToUtf8(text));
}

// A stored measure in twips, by the user's locale; the default where it is missing or
// unusable.
double StoredTwips(const char* key, double fallback, bool mustBePositive) {
  const std::string text =
      platform::GetSetting(kTitle, "Settings", key, QString::number(fallback).toStdString());
  bool ok = false;
  const double value = QLocale().toFloat(QString::fromStdString(text), &ok);
  if (!ok || (mustBePositive && value <= 0)) return fallback;
  return value;
}

}  // namespace

Form1::Form1(run::RunState& state, const platform::Clock& clock, QWidget* parent)
    : QMainWindow(parent), state_(state), clock_(clock) {
  setWindowTitle(kTitle);
  setWindowIcon(QIcon(":/kelvaron.png"));
  setCentralWidget(new QWidget(this));  // the area above the status bar stays empty

  QMenu* file = menuBar()->addMenu("&File");
  MnuArchive = file->addAction("&Move to archive", this, &Form1::MnuArchive_Click);
  MnuVersion = file->addAction("&Version", this, &Form1::MnuVersion_Click);
  MnuExit = file->addAction("E&xit", this, &Form1::MnuExit_Click);

  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(Twips(375));
  for (int i = 0; i < 2; ++i) {
    panels_[i] = new QLabel(i == 0 ? "From: " : "To: ", bar);
    panels_[i]->setObjectName(QString("Panel%1").arg(i + 1));
    panels_[i]->setMinimumWidth(Twips(1440));
    panels_[i]->setFrameShape(QFrame::Panel);
    panels_[i]->setFrameShadow(QFrame::Sunken);
    bar->addWidget(panels_[i], 1);  // equal stretch: equally wide
  }
  auto* end = new QWidget(bar);
  end->setFixedWidth(Twips(300));
  bar->addPermanentWidget(end);

  messageBox_ = [this](QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, kTitle, text, QMessageBox::Ok, this);
    box.exec();
  };
  Form_Load();
}

int Form1::Twips(double twips) const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

QRect Form1::storedPlacement() const { return placement_; }

void Form1::Form_Load() {
  const double left = StoredTwips("MainLeft", 1000, false);
  const double top = StoredTwips("MainTop", 1000, false);
  const double width = StoredTwips("MainWidth", 9500, true);
  const double height = StoredTwips("MainHeight", 2000, true);
  placement_ = QRect(Twips(left), Twips(top), Twips(width), Twips(height));

  // A window wholly off every screen could not be reached: its position takes the default.
  bool visible = false;
  for (const QScreen* screen : QGuiApplication::screens()) {
    visible = visible || screen->geometry().intersects(placement_);
  }
  if (!visible) placement_.moveTopLeft(QPoint(Twips(1000), Twips(1000)));

  move(placement_.topLeft());
  resize(placement_.size());
}

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The stored size is the outer frame; the frame's margins are known only once shown.
  if (frameCorrected_) return;
  frameCorrected_ = true;
  const QSize frame = frameGeometry().size() - geometry().size();
  if (!frame.isEmpty()) resize(placement_.size() - frame);
}

void Form1::SetPanelText(int panel, const std::string& text) {
  QLabel* label = panels_[panel - 1];
  label->setText(FromCp1252(text));
  // The run holds the event loop; paint now so the panels follow it.
  if (label->isVisible()) label->repaint();
}

void Form1::ShowMessage(Kind kind, const std::string& text) {
  const QMessageBox::Icon icon = kind == Kind::kError     ? QMessageBox::Critical
                                 : kind == Kind::kWarning ? QMessageBox::Warning
                                                          : QMessageBox::NoIcon;
  messageBox_(icon, FromCp1252(text));
}

QString Form1::panelText(int panel) const { return panels_[panel - 1]->text(); }

void Form1::MnuArchive_Click() {
  run::ArchiveRun run(state_, *this, clock_);
  run.MnuArchive_Click();
}

void Form1::MnuVersion_Click() {
  SetPanelText(1, "Kelvaron version: 1.01 of 07-JUL-2002.");
  SetPanelText(2, "Archives marked Winpack bulletins by group.");
}

void Form1::MnuExit_Click() { close(); }
