#include "update/IPUpdateThread.h"

#include "log/ActivityLog.h"
#include "settings/PasswordKeyring.h"
#include "settings/Settings.h"
#include "validation/MyValidator.h"

#include <exception>
#include <optional>
#include <utility>

using namespace SettingsKeys;

namespace {

// The password the cycle sends; none, reported so, when it has none to send.
std::optional<QString> cyclePassword(const QString& user) {
    if (!MyFunctions::getConfigurationBoolean(passwordInKeyring))
        return MyFunctions::getConfigurationString(password);
    if (!PasswordKeyrings::installed()) {
        // The service cannot reach a desktop session's keyring: it waits as when not set up.
        MyFunctions::reportCycleNotSetUp();
        return std::nullopt;
    }
    // Never the keyring itself: its unlock prompt must not hold a cycle.
    if (auto held = PasswordKeyrings::heldPassword(user))
        return held;
    MyFunctions::reportCycleFailed("the keyring did not give the password");
    return std::nullopt;
}

} // namespace

IPUpdateThread::IPUpdateThread(UpdateStage stage, std::shared_ptr<WorkerWait> wait,
                               std::shared_ptr<EarlyCycleTrigger> earlyCycles)
    : stage_(std::move(stage)), wait_(std::move(wait)), earlyCycles_(std::move(earlyCycles)) {}

void IPUpdateThread::process() {
    // Addresses remembered by an earlier run say nothing about this one: the first
    // request after start-up always announces itself as a first update.
    MyFunctions::setConfigurationString(updatedipv4, QString());
    MyFunctions::setConfigurationString(updatedipv6, QString());
    if (quit())
        return;
    // Started while the network still connects (at login, say): a cycle now would only fail.
    if (earlyCycles_ && earlyCycles_->holdsFirstCycle())
        wait();
    for (;;) {
        runGuardedCycle();
        wait();
        if (quit())
            return;
    }
}

void IPUpdateThread::wait() {
    MyFunctions::snooze(secondsBetweenCycles, *wait_, earlyCycles_.get());
}

void IPUpdateThread::runGuardedCycle() {
    if (earlyCycles_)
        earlyCycles_->cycleStarted();
    // A failure ends the cycle silently; what it logged or stored so far stays, and the
    // next cycle comes after the usual wait.
    try {
        runCycle();
    } catch (const std::exception&) {
    }
}

void IPUpdateThread::runCycle() {
    if (!MyFunctions::getConfigurationBoolean(saved)) {
        // The settings file went away or cannot be read: nothing is kept updated any more.
        MyFunctions::reportCycleNotSetUp();
        return;
    }

    UpdateCycleInputs inputs;
    inputs.username = MyFunctions::getConfigurationString(username);
    const auto sentPassword = cyclePassword(inputs.username);
    if (!sentPassword)
        return;
    inputs.password = *sentPassword;
    inputs.location = MyFunctions::getConfigurationString(location);
    inputs.updateIPv4Address = MyFunctions::getConfigurationBoolean(updateIPv4Address);
    inputs.updateIPv6Address = MyFunctions::getConfigurationBoolean(updateIPv6Address);

    const MyValidator validator;
    if (!validator.isValidUsername(inputs.username) ||
        !validator.isValidPassword(inputs.password)) {
        // Nothing can be sent, so the tray must stop saying that updates work.
        MyFunctions::reportCycleFailed("the stored user name or password is not valid");
        return;
    }

    inputs.rememberedIPv4 = MyFunctions::getConfigurationString(updatedipv4);
    inputs.rememberedIPv6 = MyFunctions::getConfigurationString(updatedipv6);

    stage_(inputs);
}
