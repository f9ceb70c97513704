#include "account/AccountPassword.h"

#include "log/ActivityLog.h"
#include "settings/PasswordKeyring.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

using MyFunctions::addToActivityLog;
using namespace SettingsKeys;

void takePasswordFromKeyring(const std::function<void()>& then) {
    PasswordKeyrings::hold(std::nullopt);
    const auto keyring = PasswordKeyrings::installed();
    if (!keyring || !UserDefaults::boolForKey(passwordInKeyring))
        return then();
    const QString user = UserDefaults::stringForKey(username);
    keyring->readPassword(user, [user, then, since = PasswordKeyrings::holdCount()](
                                    const PasswordKeyring::Read& read) {
        if (PasswordKeyrings::holdCount() != since) // a Save came first: its password counts
            return then();
        if (read.password)
            PasswordKeyrings::hold(PasswordKeyrings::HeldPassword{user, *read.password});
        else
            addToActivityLog("The password could not be taken from the keyring: " + read.failure +
                             ". Updates fail until the settings are saved or the program starts "
                             "again.");
        then();
    });
}

QString savedPassword() {
    if (!UserDefaults::boolForKey(passwordInKeyring))
        return MyFunctions::getConfigurationString(password);
    return PasswordKeyrings::heldPassword(UserDefaults::stringForKey(username)).value_or("");
}

bool storeInKeyringWhenChosen(const AccountEntries& entries) {
    if (!entries.passwordInKeyring)
        return true;
    const auto keyring = PasswordKeyrings::installed();
    const auto refusal = keyring ? keyring->writePassword(entries.username, entries.password)
                                 : QString("no keyring can be reached from here");
    if (!refusal)
        return true;
    addToActivityLog("The password could not be stored in the keyring: " + *refusal);
    return false;
}

EarlierAccount earlierAccount() {
    return {UserDefaults::stringForKey(username), UserDefaults::boolForKey(passwordInKeyring)};
}

namespace {

bool sameEntry(const AccountEntries& entries, const EarlierAccount& earlier) {
    return earlier.passwordInKeyring && entries.username == earlier.username;
}

void removeEntry(const QString& user) {
    if (const auto keyring = PasswordKeyrings::installed())
        if (const auto failure = keyring->deletePassword(user))
            addToActivityLog("The keyring's entry for " + user + " may remain: " + *failure);
}

} // namespace

void settlePasswordPlace(const AccountEntries& entries, const EarlierAccount& earlier) {
    std::optional<PasswordKeyrings::HeldPassword> held;
    if (entries.passwordInKeyring)
        held = PasswordKeyrings::HeldPassword{entries.username, entries.password};
    PasswordKeyrings::hold(held);
    if (earlier.passwordInKeyring && !(entries.passwordInKeyring && sameEntry(entries, earlier)))
        removeEntry(earlier.username);
}

void undoKeyringWrite(const AccountEntries& entries, const EarlierAccount& earlier) {
    if (entries.passwordInKeyring && !sameEntry(entries, earlier))
        removeEntry(entries.username);
}
