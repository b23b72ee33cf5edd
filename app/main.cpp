#include <QApplication>

#include "app/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Kelvaron");
  QApplication::setOrganizationName("Kelvaron");
  // The installed desktop entry, by which a desktop finds the program's icon and name.
  QGuiApplication::setDesktopFileName("kelvaron");
  static const platform::SystemClock clock;
  MainWindow::Open(clock);
  return QApplication::exec();
}
