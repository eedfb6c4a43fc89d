#pragma once

#include <functional>

namespace tavora {

class MainWindow;

// The program's entry: initialises the UI framework, creates the wizard window
// with the desktop's services, shows it and runs the event loop until the
// window closes. `shown`, when given, runs once the window is on screen (the
// start-up benchmark uses it).
int wizardMain(int argc, char** argv, const std::function<void(MainWindow&)>& shown = {});

} // namespace tavora
