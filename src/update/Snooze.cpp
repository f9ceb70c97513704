#include "update/Snooze.h"

#include "update/EarlyCycleTrigger.h"

#include <optional>

using std::chrono::milliseconds;

std::atomic<std::uint8_t> KeepSnoozing{1};

void wakeUpdateWorker() {
    KeepSnoozing.store(0);
    ringForWorker();
}

namespace MyFunctions {

namespace {

std::optional<milliseconds> untilDeadline(const WorkerWait& wait, milliseconds deadline) {
    if (wait.clocks().sinceBoot() >= deadline)
        return std::nullopt;
    return deadline;
}

} // namespace

void snooze(qint32 seconds, WorkerWait& wait, EarlyCycleTrigger* earlyCycles) {
    if (seconds <= 0)
        return;
    const milliseconds deadline = wait.clocks().sinceBoot() + std::chrono::seconds(seconds);
    for (;;) {
        if (KeepSnoozing.load() == 0) {
            KeepSnoozing.store(1);
            return;
        }
        const std::optional<milliseconds> wakeAt =
            earlyCycles ? earlyCycles->wakeAt(deadline) : untilDeadline(wait, deadline);
        if (!wakeAt)
            return;
        wait.until(*wakeAt);
    }
}

} // namespace MyFunctions
