#pragma once

#include <memory>

#include "app/form1_win.h"

/// The one window, for the life of the program.
extern std::unique_ptr<Form1> MainForm;

/// Creates the window, keeps it in MainForm and shows it.
void Main(const platform::Clock& clock, int showCommand);
