#include "account/AccountPassword.h"

#include "log/ActivityLog.h"
#include "settings/PasswordKeyring.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

using MyFunctions::addToActivityLog;
using namespace SettingsKeys;

QString keyringKeyOf(const QString& user) {
    return user + " (settings " + UserDefaults::digestOf(UserDefaults::canonicalStoreFile()) + ")";
}

namespace {

// The entry of these settings, or else the one that an earlier version kept under the user
// name alone, which other settings may share.
void readSavedEntry(const std::shared_ptr<PasswordKeyring>& keyring, const QString& user,
                    const std::function<void(PasswordKeyring::Read)>& answer) {
    keyring->readPassword(keyringKeyOf(user), [keyring, user, answer](const auto& read) {
        if (!read.noEntry)
            return answer(read);
        keyring->readPassword(user, answer);
    });
}

} // namespace

void takePasswordFromKeyring(const std::function<void()>& then) {
    PasswordKeyrings::hold(std::nullopt);
    const auto keyring = PasswordKeyrings::installed();
    if (!keyring || !UserDefaults::boolForKey(passwordInKeyring))
        return then();
    const QString user = UserDefaults::stringForKey(username);
    readSavedEntry(
        keyring, user,
        [user, then, since = PasswordKeyrings::holdCount()](const PasswordKeyring::Read& read) {
            if (PasswordKeyrings::holdCount() != since) // a Save came first: its password counts
                return then();
            if (read.password)
                PasswordKeyrings::hold(PasswordKeyrings::HeldPassword{user, *read.password});
            else
                addToActivityLog(
                    "The password could not be taken from the keyring: " +
                    (read.noEntry ? "it gave none for " + user + " (it is locked, or holds none)"
                                  : read.failure) +
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
    const auto refusal =
        keyring ? keyring->writePassword(keyringKeyOf(entries.username), entries.password)
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

const auto keyringOutOfReach = QStringLiteral(
    "The desktop's keyring may still hold the password for %1: this program cannot reach it "
    "to remove it.");

// Only the entry of these settings: one that an earlier version kept under the user name alone
// may serve other settings still.
void removeEntry(const QString& user) {
    const auto keyring = PasswordKeyrings::installed();
    if (!keyring)
        return addToActivityLog(keyringOutOfReach.arg(user));
    const PasswordKeyring::Removal removal = keyring->deletePassword(keyringKeyOf(user));
    if (removal.noEntry)
        addToActivityLog("The keyring gave no entry for " + user +
                         " to remove (it holds none, or it stayed locked).");
    else if (removal.failure)
        addToActivityLog("The keyring's entry for " + user + " may remain: " + *removal.failure);
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
