#include "app/module1.h"

#include <QApplication>

#include "app/form1.h"

Form1* MainForm = nullptr;

void Main(const platform::Clock& clock) {
  MainForm = new Form1(clock);
  MainForm->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(MainForm, &QObject::destroyed, [] { MainForm = nullptr; });
  MainForm->show();
}
