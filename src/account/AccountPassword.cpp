#include "account/AccountPassword.h"

#include "log/ActivityLog.h"
#include "settings/PasswordKeyring.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

using MyFunctions::addToActivityLog;
using namespace SettingsKeys;

void takePasswordFromKeyring() {
    PasswordKeyrings::hold(std::nullopt);
    const auto keyring = PasswordKeyrings::installed();
    if (!keyring || !UserDefaults::boolForKey(passwordInKeyring))
        return;
    const QString user = UserDefaults::stringForKey(username);
    const PasswordKeyring::Read read = keyring->readPassword(user);
    if (!read.password) {
        addToActivityLog("The password could not be taken from the keyring: " + read.failure +
                         ". Updates fail until the settings are saved or the program starts "
                         "again.");
        return;
    }
    PasswordKeyrings::hold(PasswordKeyrings::HeldPassword{user, *read.password});
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

void settlePasswordPlace(const AccountEntries& entries, const EarlierAccount& earlier) {
    std::optional<PasswordKeyrings::HeldPassword> held;
    if (entries.passwordInKeyring)
        held = PasswordKeyrings::HeldPassword{entries.username, entries.password};
    PasswordKeyrings::hold(held);
    const bool entryStillUsed = entries.passwordInKeyring && entries.username == earlier.username;
    if (earlier.passwordInKeyring && !entryStillUsed)
        if (const auto keyring = PasswordKeyrings::installed())
            keyring->deletePassword(earlier.username);
}
