// The user's path of the benchmark: one archive run through the "Move to archive" command
// of the program's own window, shown on an X display, with the closing message answered at
// once. Run by kelvaron_bench like its own workers:
//   kelvaron_window_bench --worker w DIR   (WINEPREFIX, XDG_DATA_HOME and DISPLAY set)
// It writes the run's seconds and the process's peak resident KiB to DIR/seconds.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "bench/station.h"
#include "run/messages.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "--worker") {
    std::fprintf(stderr, "usage: %s --worker w DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[3];
  QApplication app(argc, argv);
  QApplication::setApplicationName("Kelvaron");
  static const bench::Clock clock;
  MainWindow* window = MainWindow::Open(clock);
  bool finished = false;
  window->setMessageBox([&finished](QMessageBox::Icon, const QString& text) {
    finished = text == run::kFinished;
    if (!finished) std::fprintf(stderr, "%s\n", qPrintable(text));
  });

  // As a user would find it: shown, framed and painted, and the window manager done with it,
  // before the command is picked; no hand picks it within a moment of the window appearing.
  while (window->windowHandle() == nullptr || !window->windowHandle()->isExposed()) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 300) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);

  const auto start = std::chrono::steady_clock::now();
  window->archiveAction->trigger();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (std::getenv("BENCH_VERBOSE") != nullptr) {
    std::fprintf(stderr, "window run: %d panel paints\n", window->panelPaints());
  }
  std::ofstream(dir + "/seconds") << took.count() << ' ' << bench::PeakKiB();
  window->exitAction->trigger();
  return finished ? 0 : 1;
}
