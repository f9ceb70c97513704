#pragma once

#include "update/WorkerWait.h"

#include <chrono>
#include <functional>

// A worker wait on clocks of its own, for tests and benchmarks that run the update loop
// without waiting: each call lets one second pass on both clocks, then hands the step the
// seconds gone by. A step may move sinceBoot on alone, as a suspend does.
class SteppedWait : public WorkerWait {
public:
    const WorkerClocks& clocks() const override { return clocks_; }
    void until(std::chrono::milliseconds) override {
        awake += std::chrono::seconds(1);
        sinceBoot += std::chrono::seconds(1);
        if (step)
            step(++seconds_);
    }

    std::function<void(int seconds)> step;
    std::chrono::milliseconds awake{0};
    std::chrono::milliseconds sinceBoot{0};

private:
    int seconds_ = 0;
    WorkerClocks clocks_{[this] { return awake; }, [this] { return sinceBoot; }};
};
