#include <QApplication>

#include "app/module1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Kelvaron");
  QApplication::setOrganizationName("Kelvaron");
  static const platform::SystemClock clock;
  Main(clock);
  return QApplication::exec();
}
