#pragma once

#include <QtGlobal>
#include <csignal>
#include <initializer_list>

// Makes the signals end the event loop, as Quit does.
void quitOnTerminationSignals(std::initializer_list<int> ending = {SIGTERM, SIGINT, SIGHUP});

// Makes the signals wake the update worker as Save does: the companion's set-account, another
// process, sends SIGUSR1 to the updater that runs on the settings it saved.
void wakeWorkerOnSignals(std::initializer_list<int> waking = {SIGUSR1});
// Nothing happens when the process is gone, out of sight (0 or less) or not ours to signal.
void wakeWorkerOf(qint64 pid);

// Ends the process at once, without running destructors under the worker, which may be
// inside a request or a wait and still uses process-wide state; every setting is on disk
// already. Log lines still queued for a standard error that does not take them are left
// behind.
[[noreturn]] void endProcess(int status);
