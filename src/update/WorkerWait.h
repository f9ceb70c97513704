#pragma once

#include <chrono>
#include <functional>

// The two clocks the update worker reads: one stands still while the computer sleeps, the
// other runs on through sleep. What the second gains on the first over a wait is time asleep.
struct WorkerClocks {
    using Clock = std::function<std::chrono::milliseconds()>;
    Clock awake;
    Clock sinceBoot;
};

// How the update worker waits between cycles: one blocking call that returns at a time on the
// clock that runs through sleep, or sooner when something rings for the worker (Save,
// set-account's signal, the network's return, a resume), or for no reason at all. The worker
// looks again whenever it returns. Tests wait on clocks of their own.
class WorkerWait {
public:
    virtual ~WorkerWait() = default;
    virtual const WorkerClocks& clocks() const = 0;
    virtual void until(std::chrono::milliseconds sinceBoot) = 0;
};

// On the system's clocks, woken by ringForWorker: nothing wakes it in between.
class SystemWait : public WorkerWait {
public:
    SystemWait();
    ~SystemWait() override;
    SystemWait(const SystemWait&) = delete;
    SystemWait& operator=(const SystemWait&) = delete;

    static WorkerClocks systemClocks();
    const WorkerClocks& clocks() const override { return clocks_; }
    void until(std::chrono::milliseconds sinceBoot) override;

private:
    WorkerClocks clocks_ = systemClocks();
    int timer_;
};

// Makes the worker's wait return so that it looks again. Async-signal-safe, for any thread.
void ringForWorker();
