#include "update/EarlyCycleTrigger.h"

#include <ctime>
#include <utility>

using std::chrono::milliseconds;

namespace {

#ifdef __linux__
EarlyCycleTrigger::Clock systemClock(clockid_t id) {
    return [id] {
        timespec now{};
        clock_gettime(id, &now);
        return milliseconds(static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
    };
}
#endif

} // namespace

EarlyCycleTrigger::Clocks EarlyCycleTrigger::systemClocks() {
#ifdef __linux__
    return {systemClock(CLOCK_MONOTONIC), systemClock(CLOCK_BOOTTIME)};
#else
    // No clock here that runs through sleep: resumes go unnoticed.
    const Clock steady = [] {
        return std::chrono::duration_cast<milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
    return {steady, steady};
#endif
}

EarlyCycleTrigger::EarlyCycleTrigger(Clocks clocks) : clocks_(std::move(clocks)) {}

void EarlyCycleTrigger::reachabilityChanged(bool online) {
    const std::lock_guard lock(mutex_);
    if (online && offline_) {
        pending_ = true;
        fallbackAt_.reset();
    }
    offline_ = !online;
}

bool EarlyCycleTrigger::holdsFirstCycle() {
    const std::lock_guard lock(mutex_);
    if (offline_)
        awaitNetworkFrom(clocks_.sinceBoot());
    return offline_;
}

void EarlyCycleTrigger::cycleStarted() {
    const std::lock_guard lock(mutex_);
    pending_ = false;
    lastCycleStart_ = clocks_.sinceBoot();
}

bool EarlyCycleTrigger::endsWait() {
    const std::lock_guard lock(mutex_);
    const Sample now = sample();
    if (resumedSince(now)) {
        // The network is still reconnecting: a cycle now would only fail.
        offline_ = true;
        awaitNetworkFrom(now.sinceBoot);
    }
    lastSample_ = now;
    if (fallbackAt_ && now.sinceBoot >= *fallbackAt_) {
        pending_ = true;
        fallbackAt_.reset();
    }
    if (!pending_)
        return false;
    return !lastCycleStart_ || now.sinceBoot - *lastCycleStart_ >= minimumSpacing;
}

EarlyCycleTrigger::Sample EarlyCycleTrigger::sample() const {
    return {clocks_.awake(), clocks_.sinceBoot()};
}

void EarlyCycleTrigger::awaitNetworkFrom(milliseconds sinceBoot) {
    fallbackAt_ = sinceBoot + resumeFallback;
}

bool EarlyCycleTrigger::resumedSince(const Sample& now) const {
    if (!lastSample_)
        return false;
    const milliseconds slept =
        (now.sinceBoot - lastSample_->sinceBoot) - (now.awake - lastSample_->awake);
    return slept > resumeThreshold;
}
