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

void takePasswordFromKeyring(const std::function<void()>& then) {
    PasswordKeyrings::hold(std::nullopt);
    const auto keyring = PasswordKeyrings::installed();
    if (!keyring || !UserDefaults::boolForKey(passwordInKeyring))
        return then();
    const QString user = UserDefaults::stringForKey(username);
    // Settings that an earlier version saved keep the password under the user name alone.
    const QString key =
        UserDefaults::boolForKey(keyringEntryPerSettings) ? keyringKeyOf(user) : user;
    keyring->readPassword(key, [user, then, since = PasswordKeyrings::holdCount()](
                                   const PasswordKeyring::Read& read) {
        if (PasswordKeyrings::holdCount() != since) // a Save came first: its password counts
            return then();
        if (read.password)
            PasswordKeyrings::hold(PasswordKeyrings::HeldPassword{user, *read.password});
        else
            addToActivityLog("The password could not be taken from the keyring: " +
                             (read.noEntry
                                  ? "it gave none for " + user + " (it is locked, or holds none)"
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
    const bool inKeyring = UserDefaults::boolForKey(passwordInKeyring);
    return {UserDefaults::stringForKey(username), inKeyring,
            inKeyring && !UserDefaults::boolForKey(keyringEntryPerSettings)};
}

namespace {

bool sameEntry(const AccountEntries& entries, const EarlierAccount& earlier) {
    return earlier.passwordInKeyring && !earlier.inEarlierVersionsEntry &&
           entries.username == earlier.username;
}

const auto keyringOutOfReach = QStringLiteral(
    "The desktop's keyring may still hold the password for %1: this program cannot reach it "
    "to remove it.");

const auto earlierEntryStays = QStringLiteral(
    "The keyring's entry that an earlier version of this program kept for %1 stays, as other "
    "settings may use it; remove it in the desktop's keyring if none does.");

// Only an entry of these settings: one that an earlier version kept under the user name alone
// may serve other settings still.
void removeEntry(const QString& user, bool earlierVersions) {
    const auto keyring = PasswordKeyrings::installed();
    if (!keyring)
        return addToActivityLog(keyringOutOfReach.arg(user));
    if (earlierVersions)
        return addToActivityLog(earlierEntryStays.arg(user));
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
        removeEntry(earlier.username, earlier.inEarlierVersionsEntry);
}

void undoKeyringWrite(const AccountEntries& entries, const EarlierAccount& earlier) {
    if (entries.passwordInKeyring && !sameEntry(entries, earlier))
        removeEntry(entries.username, false);
}
