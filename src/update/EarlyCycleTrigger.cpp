#include "update/EarlyCycleTrigger.h"

#include <utility>

using std::chrono::milliseconds;

EarlyCycleTrigger::EarlyCycleTrigger(WorkerClocks clocks, std::function<void()> ring)
    : clocks_(std::move(clocks)), ring_(std::move(ring)) {}

void EarlyCycleTrigger::reachabilityChanged(bool online) {
    {
        const std::lock_guard lock(mutex_);
        // After a resume the network counts as gone until it is reported back.
        const bool back = online && (offline_ || fallbackAt_);
        offline_ = !online;
        if (!back)
            return;
        pending_ = true;
        fallbackAt_.reset();
    }
    ring_();
}

void EarlyCycleTrigger::resumed() {
    {
        const std::lock_guard lock(mutex_);
        awaitNetworkFrom(clocks_.sinceBoot());
    }
    ring_();
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
    fallbackAt_.reset(); // a cycle that began anyway (a Save's) needs no fallback after it
    lastCycleStart_ = clocks_.sinceBoot();
}

bool EarlyCycleTrigger::networkDown() {
    const std::lock_guard lock(mutex_);
    return offline_ || fallbackAt_;
}

std::optional<milliseconds> EarlyCycleTrigger::wakeAt(milliseconds deadline) {
    const std::lock_guard lock(mutex_);
    const Sample now = sample();
    if (resumedSince(now)) // the network is still reconnecting: a cycle now would only fail
        awaitNetworkFrom(now.sinceBoot);
    lastSample_ = now;
    if (fallbackAt_ && now.sinceBoot >= *fallbackAt_) {
        pending_ = true;
        fallbackAt_.reset();
    }
    if (pending_) {
        const milliseconds spaced =
            lastCycleStart_ ? *lastCycleStart_ + minimumSpacing : now.sinceBoot;
        if (now.sinceBoot >= spaced)
            return std::nullopt;
        return spaced;
    }
    if (fallbackAt_)
        return fallbackAt_;
    if (now.sinceBoot >= deadline)
        return std::nullopt;
    return deadline;
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
