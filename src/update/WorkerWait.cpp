#include "update/WorkerWait.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

using std::chrono::milliseconds;

namespace {

// Made before main, so that a signal handler can ring it at any time.
const int doorbell = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

WorkerClocks::Clock systemClock(clockid_t id) {
    return [id] {
        timespec now{};
        ::clock_gettime(id, &now);
        return milliseconds(static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
    };
}

void drain(int descriptor) {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(descriptor, &count, sizeof count);
}

} // namespace

WorkerClocks SystemWait::systemClocks() {
    return {systemClock(CLOCK_MONOTONIC), systemClock(CLOCK_BOOTTIME)};
}

// The timer counts time asleep as well: a wait whose end passed during a suspend ends at the
// resume.
SystemWait::SystemWait() : timer_(::timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC | TFD_NONBLOCK)) {}

SystemWait::~SystemWait() {
    ::close(timer_);
}

void SystemWait::until(milliseconds sinceBoot) {
    itimerspec end{};
    end.it_value.tv_sec = static_cast<time_t>(sinceBoot.count() / 1000);
    end.it_value.tv_nsec = static_cast<long>(sinceBoot.count() % 1000) * 1000000;
    if (end.it_value.tv_sec == 0 && end.it_value.tv_nsec == 0)
        end.it_value.tv_nsec = 1; // zero would disarm the timer
    ::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &end, nullptr);
    // Without a timer (none could be made), a time-out on the clock that stops in a suspend.
    const auto left = std::max(sinceBoot - clocks_.sinceBoot(), milliseconds(0));
    const int timeout =
        timer_ >= 0 ? -1 : static_cast<int>(std::min<long long>(left.count(), INT_MAX));
    pollfd ends[] = {{doorbell, POLLIN, 0}, {timer_, POLLIN, 0}};
    ::poll(ends, 2, timeout); // a signal that interrupts it is one more reason to look again
    drain(doorbell);
    drain(timer_);
}

void ringForWorker() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(doorbell, &one, sizeof one);
}
