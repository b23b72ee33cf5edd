#include "app/module1_win.h"

run::RunState RunState;
std::unique_ptr<Form1> MainForm;

void Main(const platform::Clock& clock, int showCommand) {
  MainForm = std::make_unique<Form1>(RunState, clock);
  MainForm->Show(showCommand);
}
