#pragma once

#include "platform/clock.h"

class Form1;

/// The one window, for the life of the program.
extern Form1* MainForm;

/// Creates the window, keeps it in MainForm and shows it.
void Main(const platform::Clock& clock);
