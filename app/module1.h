#pragma once

#include "platform/clock.h"
#include "run/run_state.h"

class Form1;

/// The run's record and the one window, for the life of the program.
extern run::RunState RunState;
extern Form1* MainForm;

/// Creates the window, keeps it in MainForm and shows it.
void Main(const platform::Clock& clock);
