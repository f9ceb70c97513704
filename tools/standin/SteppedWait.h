#pragma once

#include "update/Snooze.h"
#include "update/WorkerWait.h"

#include <chrono>
#include <functional>

// A worker wait on clocks of its own, for tests and benchmarks that run the update loop
// without waiting. It lets time pass a second at a time, handing the step the seconds gone by
// after each, until the time it was asked to wait for, or until something rings: ring(), as
// the early-cycle trigger does, or a cleared KeepSnoozing, as Save and set-account do. A step
// may move sinceBoot on alone, as a suspend does.
class SteppedWait : public WorkerWait {
public:
    const WorkerClocks& clocks() const override { return clocks_; }
    void until(std::chrono::milliseconds end) override {
        rung_ = false;
        do {
            awake += std::chrono::seconds(1);
            sinceBoot += std::chrono::seconds(1);
            if (step)
                step(++seconds_);
        } while (sinceBoot < end && !rung_ && KeepSnoozing.load() != 0);
    }
    void ring() { rung_ = true; }

    std::function<void(int seconds)> step;
    std::chrono::milliseconds awake{0};
    std::chrono::milliseconds sinceBoot{0};

private:
    int seconds_ = 0;
    bool rung_ = false;
    WorkerClocks clocks_{[this] { return awake; }, [this] { return sinceBoot; }};
};
