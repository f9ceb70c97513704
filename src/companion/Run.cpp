#include "companion/Commands.h"
#include "companion/Systemd.h"
#include "log/ActivityLog.h"
#include "settings/Settings.h"
#include "update/ClientUpdate.h"
#include "update/CycleRecord.h"
#include "update/ProcessSignals.h"
#include "update/UpdaterLock.h"

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <memory>
#include <thread>

namespace {

// No window and no tooltip here: the log goes to standard error, and each cycle's outcome
// to the record that status reads and to systemd's status line.
class ServiceDisplay : public ActivityLogDisplay {
public:
    void showLog(const QString&) override {}
    void showToolTip(const QString&) override {}
    void showCycleOutcome(const CycleOutcome& outcome) override {
        if (!outcome.setUp) {
            Systemd::notifyStatus("Not set up yet");
            return;
        }
        const CycleRecord record = CycleRecords::recordOutcome(outcome);
        if (!outcome.succeeded) // the journal is all an admin reads on a box
            Companion::tell(outcome.failureNote);
        Systemd::notifyStatus(outcome.succeeded
                                  ? "Newest update went through at " +
                                        record.time.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss")
                                  : outcome.failureNote);
    }
};

// The worker's wait, which under a watchdog returns in time for the next ping.
class WatchedWait : public SystemWait {
public:
    void until(std::chrono::milliseconds sinceBoot) override {
        Systemd::notifyAlive();
        if (interval_)
            sinceBoot = std::min(sinceBoot, clocks().sinceBoot() + *interval_);
        SystemWait::until(sinceBoot);
    }

private:
    const std::optional<std::chrono::milliseconds> interval_ = Systemd::aliveInterval();
};

// The worker tells systemd's watchdog that it lives before every cycle and at least every
// half of the watchdog's time while it waits; a worker stuck anywhere else stops the pings.
std::shared_ptr<IPUpdateThread> watchedWorker() {
    const auto stage = [](const UpdateCycleInputs& inputs) {
        Systemd::notifyAlive();
        requestClientUpdate(inputs);
    };
    return std::make_shared<IPUpdateThread>(stage, std::make_shared<WatchedWait>());
}

// The exit status when the settings are not to be updated here; none when claimed.
std::optional<int> refusedClaim(UpdaterLock& lock) {
    switch (lock.claim()) {
    case UpdaterLock::Claim::Claimed:
        return std::nullopt;
    case UpdaterLock::Claim::Unavailable:
        Companion::tell("cannot create " + lock.path());
        return Companion::lockUnavailable;
    case UpdaterLock::Claim::HeldByAnother:
        break;
    }
    const auto holder = lock.holder();
    Companion::tell((holder ? holder->description() : "another updater") +
                    " already updates with " + UpdaterLock::settingsFile());
    return 1;
}

} // namespace

namespace Companion {

int run(const QStringList& arguments) {
    if (arguments.size() > 1)
        return refuseUsage("run takes no arguments");
    // Before the lock: set-account may wake whoever holds it. SIGHUP is a daemon's reload:
    // the next cycle reads the settings afresh, now.
    wakeWorkerOnSignals({SIGUSR1, SIGHUP});
    UpdaterLock lock;
    if (const auto refusal = refusedClaim(lock))
        return *refusal;
    if (Systemd::standardErrorIsJournal())
        ActivityLog::copyToJournal();
    quitOnTerminationSignals({SIGTERM, SIGINT});
    ServiceDisplay display;
    ActivityLog::setDisplay(&display);
    if (!MyFunctions::getConfigurationBoolean(SettingsKeys::saved)) {
        MyFunctions::addToActivityLog("Not set up yet. Set up the account with: " + setUpCommand());
        Systemd::notifyStatus("Not set up yet");
    } else if (MyFunctions::getConfigurationBoolean(SettingsKeys::passwordInKeyring)) {
        MyFunctions::addToActivityLog(keyringOutOfReach()); // the cycles wait as when not set up
        Systemd::notifyStatus("Not set up yet");
    }

    // Never joined: the process ends without waiting for a request or a wait in progress.
    std::thread([worker = watchedWorker()] { worker->process(); }).detach();
    Systemd::notifyReady();
    QCoreApplication::exec();
    CycleRecords::remove();
    lock.release();
    return 0;
}

} // namespace Companion
