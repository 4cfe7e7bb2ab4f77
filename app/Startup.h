#pragma once

#include <functional>

class MainForm;

// Sets up the application (locale, translations, fonts, the program's services), shows the main
// window, calls shown with it, and runs the event loop until the program ends.
int runWindows(int argc, char* argv[], const std::function<void(MainForm&)>& shown = {});
