#pragma once

#include <QtGlobal>
#include <atomic>
#include <cstdint>
#include <functional>

// The wake flag shared by Save and the update worker: 1 while the worker may keep
// waiting; Save clears it to start the next cycle within about a second.
extern std::atomic<std::uint8_t> KeepSnoozing;

// One step of a wait; tests put a step of their own in place of the real second.
using SleepStep = std::function<void()>;
void sleepOneSecond();

namespace MyFunctions {

// Waits the given number of one-second steps, returning early (and setting the flag
// again) once KeepSnoozing is found cleared before a step, or once endEarly, asked before
// each step after the flag, says so.
void snooze(qint32 seconds, const SleepStep& sleepStep = sleepOneSecond,
            const std::function<bool()>& endEarly = {});

} // namespace MyFunctions
