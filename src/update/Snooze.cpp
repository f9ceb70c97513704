#include "update/Snooze.h"

#include <QThread>

std::atomic<std::uint8_t> KeepSnoozing{1};

void sleepOneSecond() {
    QThread::sleep(1);
}

namespace MyFunctions {

void snooze(qint32 seconds, const SleepStep& sleepStep, const std::function<bool()>& endEarly) {
    for (qint32 remaining = seconds; remaining > 0; --remaining) {
        if (KeepSnoozing.load() == 0) {
            KeepSnoozing.store(1);
            return;
        }
        if (endEarly && endEarly())
            return;
        sleepStep();
    }
    // A clear during the last step is left in force: the next wait returns at once.
}

} // namespace MyFunctions
