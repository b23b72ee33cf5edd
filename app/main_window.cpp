#include "app/main_window.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>

#include "platform/codepage.h"
#include "platform/settings_store.h"
#include "run/run.h"

namespace {

// How often, and how long, to look for the window manager's frame after showing: its
// extents may arrive after the events that follow mapping.
constexpr int kFrameCheckMs = 20;
constexpr int kFrameChecks = 250;

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(platform::AnsiToUtf8(text));
}

// The user's locale's decimal point and group separator, where they are one ASCII
// character each; else the C locale's.
form::NumberFormat LocaleNumberFormat() {
  const QLocale locale;
  form::NumberFormat format;
  const auto ascii = [](const QString& text, char fallback) {
    return text.size() == 1 && text[0].unicode() < 0x80 ? static_cast<char>(text[0].unicode())
                                                        : fallback;
  };
  format.decimalPoint = ascii(locale.decimalPoint(), format.decimalPoint);
  format.groupSeparator = ascii(locale.groupSeparator(), format.groupSeparator);
  return format;
}

QRect ToQRect(const form::Rect& r) { return QRect(r.left, r.top, r.width, r.height); }

}  // namespace

// Outside any namespace, as Q_INIT_RESOURCE declares the initializer where it stands. The
// resource lives in the window's static library, whose object for it no linker keeps unless
// something names it: without this the window has no picture but the toolkit's own.
static QIcon WindowIcon() {
  Q_INIT_RESOURCE(kelvaron);
  return QIcon(":/kelvaron.png");
}

MainWindow::MainWindow(const platform::Clock& clock, QWidget* parent)
    : QMainWindow(parent), presenter_(*this, [&clock](run::Reporter& reporter) {
        run::ArchiveMarkedBulletins(reporter, clock);
      }) {
  setWindowTitle(form::kTitle);
  setWindowIcon(WindowIcon());
  setCentralWidget(new QWidget(this));  // the area above the status bar stays empty

  QMenu* file = menuBar()->addMenu(form::kMenuFile);
  archiveAction = file->addAction(form::kMenuArchive, this, &MainWindow::MoveToArchive);
  versionAction = file->addAction(form::kMenuVersion, this, &MainWindow::ShowVersion);
  exitAction = file->addAction(form::kMenuExit, this, &MainWindow::Exit);

  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(Twips(form::kStatusBarHeight));
  for (int i = 0; i < 2; ++i) {
    panels_[i] = new QLabel(FromAnsi(presenter_.Text(i + 1)), bar);
    panels_[i]->setObjectName(QString("Panel%1").arg(i + 1));
    panels_[i]->setMinimumWidth(Twips(form::kPanelMinWidth));
    panels_[i]->setFrameShape(QFrame::Panel);
    panels_[i]->setFrameShadow(QFrame::Sunken);
    bar->addWidget(panels_[i], 1);  // equal stretch: equally wide
  }
  auto* end = new QWidget(bar);
  end->setFixedWidth(Twips(form::kBarEndWidth));
  bar->addPermanentWidget(end);

  messageBox_ = [this](QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, form::kTitle, text, QMessageBox::Ok, this);
    box.exec();
  };
  frameWatch_.setInterval(kFrameCheckMs);
  connect(&frameWatch_, &QTimer::timeout, this, &MainWindow::FitFrame);
  LoadPlacement();
}

double MainWindow::Dpi() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
}

int MainWindow::Twips(double twips) const { return form::Pixels(twips, Dpi()).value_or(0); }

QRect MainWindow::storedPlacement() const { return placement_; }

void MainWindow::LoadPlacement() {
  form::StoredTexts stored;
  for (std::size_t i = 0; i < form::kPlacementKeys.size(); ++i) {
    const form::StoredKey& key = form::kPlacementKeys[i];
    stored[i] = platform::GetSetting(form::kTitle, form::kSettingsSection, key.key,
                                     std::to_string(static_cast<long>(key.fallback)));
  }
  std::vector<form::Rect> workAreas;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    workAreas.push_back({area.x(), area.y(), area.width(), area.height()});
  }
  placement_ = ToQRect(form::Placement(stored, LocaleNumberFormat(), Dpi(), workAreas));

  // The frame is not known before the window is shown: until then the outer size is given
  // to the window itself, and FitFrame takes the frame off once the window manager tells it.
  move(placement_.topLeft());
  resize(placement_.size());
}

bool MainWindow::event(QEvent* event) {
  // Decided before the event is handled: a deferred delete ends this object in there.
  const QEvent::Type type = event->type();
  const bool watch = !frameFitted_ && (type == QEvent::Show || type == QEvent::Move ||
                                       type == QEvent::Resize || type == QEvent::WindowActivate);
  const bool handled = QMainWindow::event(event);
  if (watch) {
    if (type == QEvent::Show) {
      frameChecks_ = 0;
      frameWatch_.start();
    }
    FitFrame();
  }
  return handled;
}

void MainWindow::FitFrame() {
  if (frameFitted_ || !isVisible() || windowHandle() == nullptr) return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame.isNull()) {
    // No frame yet, or none at all (a platform without a window manager): look again a
    // while, then keep the size as it is.
    if (++frameChecks_ >= kFrameChecks) frameWatch_.stop();
    return;
  }
  frameFitted_ = true;
  frameWatch_.stop();
  resize(std::max(1, placement_.width() - frame.left() - frame.right()),
         std::max(1, placement_.height() - frame.top() - frame.bottom()));
  if (pos() != placement_.topLeft()) move(placement_.topLeft());
}

void MainWindow::PaintPanels(const form::PanelTexts& panels) {
  const bool shown = statusBar()->isVisible();
  for (int i = 0; i < 2; ++i) {
    if (!panels.changed[i]) continue;
    panels_[i]->setText(FromAnsi(panels.texts[i]));
    // Only the panel whose text changed: the rest of the bar looks as it did.
    if (shown) panels_[i]->repaint();
  }
  if (shown) ++panelPaints_;
}

void MainWindow::ShowBox(run::Reporter::Kind kind, const std::string& text) {
  using Kind = run::Reporter::Kind;
  const QMessageBox::Icon icon = kind == Kind::kError     ? QMessageBox::Critical
                                 : kind == Kind::kWarning ? QMessageBox::Warning
                                                          : QMessageBox::NoIcon;
  messageBox_(icon, FromAnsi(text));
}

QString MainWindow::panelText(int panel) const { return panels_[panel - 1]->text(); }

void MainWindow::MoveToArchive() { presenter_.Archive(); }

void MainWindow::ShowVersion() { presenter_.ShowVersion(); }

void MainWindow::Exit() { close(); }

MainWindow* MainWindow::Open(const platform::Clock& clock) {
  auto* window = new MainWindow(clock);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  return window;
}
