#pragma once

#include "update/EarlyCycleTrigger.h"
#include "update/Snooze.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

// What one update cycle read from the settings, handed to the request-and-reply stage.
struct UpdateCycleInputs {
    QString username;
    QString password; // plain: deciphered from the store, or as the keyring gave it
    QString location; // the group; empty for none
    bool updateIPv4Address = false;
    bool updateIPv6Address = false;
    QString rememberedIPv4, rememberedIPv6; // as the cycle read them

    // The request carries uin=1.
    bool firstUpdate() const { return rememberedIPv4.isEmpty() && rememberedIPv6.isEmpty(); }
};

// The stage that announces the cycle, sends the update request and interprets the reply.
// It may throw a std::exception to abandon the cycle silently.
using UpdateStage = std::function<void(const UpdateCycleInputs&)>;

// The update worker: one endless loop of update cycles, each followed by a 120-second
// snooze that KeepSnoozing, and the early-cycle trigger when there is one, can cut short.
class IPUpdateThread {
public:
    static constexpr qint32 secondsBetweenCycles = 120;

    explicit IPUpdateThread(UpdateStage stage,
                            std::shared_ptr<WorkerWait> wait = std::make_shared<SystemWait>(),
                            std::shared_ptr<EarlyCycleTrigger> earlyCycles = nullptr);

    const std::shared_ptr<EarlyCycleTrigger>& earlyCycles() const { return earlyCycles_; }
    bool quit() const { return quit_.load(); }
    void setQuit(bool quit) { quit_.store(quit); }

    // Runs until quit is found set; on the application's worker thread it never returns.
    void process();

private:
    void runGuardedCycle();
    void runCycle();
    void wait();

    std::atomic<bool> quit_{false};
    UpdateStage stage_;
    std::shared_ptr<WorkerWait> wait_;
    std::shared_ptr<EarlyCycleTrigger> earlyCycles_;
};
