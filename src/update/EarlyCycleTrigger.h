#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

// Ends the wait between update cycles early when the network comes back, the public address
// may well have changed meanwhile. A resume from suspend counts as the network going: the
// cycle follows its return, or resumeFallback after the resume when no report comes. A
// first cycle while the network is still down waits the same way. To spare the service, an
// early cycle never starts less than minimumSpacing after the previous cycle began, and any
// number of triggers before then give one cycle.
class EarlyCycleTrigger {
public:
    using Clock = std::function<std::chrono::milliseconds()>;
    struct Clocks {
        Clock awake;     // stands still while the computer sleeps
        Clock sinceBoot; // runs on through sleep
    };
    static Clocks systemClocks();

    static constexpr std::chrono::seconds minimumSpacing{30};
    // Sleep longer than this across one step of the wait counts as a resume.
    static constexpr std::chrono::seconds resumeThreshold{5};
    // Long enough for the network to reconnect after a resume, short enough to notice a new
    // address soon where no report of it comes.
    static constexpr std::chrono::seconds resumeFallback{15};

    explicit EarlyCycleTrigger(Clocks clocks = systemClocks());

    // From the network source, on any thread.
    void reachabilityChanged(bool online);
    // The worker, before its first cycle: true when that cycle is to wait for the network.
    bool holdsFirstCycle();
    // The worker, as each cycle begins: it serves every trigger so far.
    void cycleStarted();
    // The worker, before each step of its wait: true when the wait is to end now.
    bool endsWait();

private:
    struct Sample {
        std::chrono::milliseconds awake;
        std::chrono::milliseconds sinceBoot;
    };
    Sample sample() const;
    bool resumedSince(const Sample& now) const;
    void awaitNetworkFrom(std::chrono::milliseconds sinceBoot);

    Clocks clocks_;
    std::mutex mutex_;
    bool offline_ = false;
    bool pending_ = false;
    std::optional<std::chrono::milliseconds> lastCycleStart_; // on the sinceBoot clock
    std::optional<std::chrono::milliseconds> fallbackAt_;     // on the sinceBoot clock
    std::optional<Sample> lastSample_;
};
