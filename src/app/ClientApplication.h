#pragma once

#include "app/LaunchFeedback.h"

#include <functional>

class AppDelegate;
class QApplication;

// Runs the client in an application object the caller made: makes sure this user runs one
// copy only, launches the one AppDelegate, runs the event loop, and ends the process at
// once when the loop ends (Quit, SIGTERM, SIGINT, the session ending). afterLaunch, when
// given, runs once the delegate has launched. Returns only if it does not start: 0 when
// another copy runs (it shows its window), 1 when another program updates with the settings
// or the copy that runs does not answer.
int runClientApplication(QApplication& application,
                         const std::function<void(AppDelegate&)>& afterLaunch = {},
                         const LaunchActivation& launch = {});

// The program as installed: its application object and names, then the client.
int runClientProgram(int argc, char* argv[]);
