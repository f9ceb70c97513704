#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

// Ends the wait between update cycles early when the network comes back or the computer
// wakes from suspend: the public address may well have changed meanwhile. To spare the
// service, such a cycle never starts less than minimumSpacing after the previous cycle
// began, and any number of triggers before then give one cycle.
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

    explicit EarlyCycleTrigger(Clocks clocks = systemClocks());

    // From the network source, on any thread.
    void reachabilityChanged(bool online);
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

    Clocks clocks_;
    std::mutex mutex_;
    bool offline_ = false;
    bool pending_ = false;
    std::optional<std::chrono::milliseconds> lastCycleStart_; // on the sinceBoot clock
    std::optional<Sample> lastSample_;
};
