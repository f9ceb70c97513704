#pragma once

#include "update/WorkerWait.h"

#include <QtGlobal>
#include <atomic>
#include <cstdint>

class EarlyCycleTrigger;

// The wake flag shared by Save and the update worker: 1 while the worker may keep
// waiting; Save clears it to start the next cycle at once.
extern std::atomic<std::uint8_t> KeepSnoozing;

// Clears KeepSnoozing and rings for the worker: its wait ends now, or the next one does not
// begin when a cycle is under way. Async-signal-safe, for any thread.
void wakeUpdateWorker();

namespace MyFunctions {

// Waits the given number of seconds on the clock that runs through sleep, returning early (and
// setting the flag again) once KeepSnoozing is found cleared, or when the early-cycle trigger,
// if there is one, ends or holds the wait.
void snooze(qint32 seconds, WorkerWait& wait, EarlyCycleTrigger* earlyCycles = nullptr);

} // namespace MyFunctions
