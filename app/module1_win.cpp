#include "app/module1_win.h"

std::unique_ptr<Form1> MainForm;

void Main(const platform::Clock& clock, int showCommand) {
  MainForm = std::make_unique<Form1>(clock);
  MainForm->Show(showCommand);
}
