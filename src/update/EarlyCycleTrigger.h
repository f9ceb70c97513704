#pragma once

#include "update/WorkerWait.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

// Ends the wait between update cycles early when the network comes back, the public address
// may well have changed meanwhile. A resume from suspend counts as the network going: the
// cycle follows its return, or resumeFallback after the resume when no report comes, even
// where the usual wait ended during the suspend. A first cycle while the network is still
// down waits the same way. To spare the service, an early cycle never starts less than
// minimumSpacing after the previous cycle began, and any number of triggers before then give
// one cycle.
class EarlyCycleTrigger {
public:
    static constexpr std::chrono::seconds minimumSpacing{30};
    // Sleep longer than this across one wait counts as a resume.
    static constexpr std::chrono::seconds resumeThreshold{5};
    // Long enough for the network to reconnect after a resume, short enough to notice a new
    // address soon where no report of it comes.
    static constexpr std::chrono::seconds resumeFallback{15};

    // It rings for the worker whenever the worker's wait is to end sooner than planned.
    explicit EarlyCycleTrigger(WorkerClocks clocks = SystemWait::systemClocks(),
                               std::function<void()> ring = ringForWorker);

    // From the network source, on any thread; rings for the worker when a cycle is due.
    void reachabilityChanged(bool online);
    // The system's report of a resume, on any thread: told sooner than the clocks tell it.
    void resumed();
    // The worker, before its first cycle: true when that cycle is to wait for the network.
    bool holdsFirstCycle();
    // The worker, as each cycle begins: it serves every trigger so far.
    void cycleStarted();
    // Whether the network is reported gone, or still reconnecting after a resume.
    bool networkDown();
    // The worker, whenever its wait returns, with the time its usual wait ends: none when the
    // wait is to end now, else when to look again.
    std::optional<std::chrono::milliseconds> wakeAt(std::chrono::milliseconds deadline);

private:
    struct Sample {
        std::chrono::milliseconds awake;
        std::chrono::milliseconds sinceBoot;
    };
    Sample sample() const;
    bool resumedSince(const Sample& now) const;
    void awaitNetworkFrom(std::chrono::milliseconds sinceBoot);

    WorkerClocks clocks_;
    std::function<void()> ring_;
    std::mutex mutex_;
    bool offline_ = false; // as the network source last reported it
    bool pending_ = false;
    std::optional<std::chrono::milliseconds> lastCycleStart_; // on the sinceBoot clock
    // While set, a resume's reconnection is awaited; on the sinceBoot clock.
    std::optional<std::chrono::milliseconds> fallbackAt_;
    std::optional<Sample> lastSample_;
};
