#include "account/SaveSettings.h"

#include "account/AccountPassword.h"
#include "log/ActivityLog.h"
#include "service/AccountVerification.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/Snooze.h"
#include "validation/MyValidator.h"

#include <QRegularExpression>

using MyFunctions::addToActivityLog;
using namespace SettingsKeys;

namespace {

const auto invalidUsernameMessage =
    QStringLiteral("Please enter a valid username. [4-20 characters (0-9, a-z, A-Z)]");
const auto invalidPasswordMessage =
    QStringLiteral("Please enter a valid password. [4-20 characters "
                   "(0-9a-zA-Z`~!@#$%^&*(){}[]-_=+|\\;:'\"<>,.?/)]");
const auto invalidGroupMessage = QStringLiteral(
    " is an invalid group! Please enter a valid group. [1-50 characters (0-9, a-z, A-Z)]");
const auto unableToAuthenticateMessage = QStringLiteral("Unable to authenticate!");
const auto authenticationFailedMessage = QStringLiteral("Authentication failed!");
const auto savedMessage = QStringLiteral("Settings have been saved.");
constexpr qsizetype shortestPassword = 4;
const auto notStoredMessage =
    QStringLiteral("The settings could not be stored. Please check that the settings file "
                   "can be written.");

// The entries' own checks; none when all pass. A refused entry stores nothing: the account
// stored before goes on working.
std::optional<SaveOutcome> refusedEntry(const AccountEntries& entries) {
    const MyValidator validator;
    if (!validator.isValidUsername(entries.username)) {
        addToActivityLog(invalidUsernameMessage);
        return SaveOutcome::InvalidUsername;
    }
    if (!validator.isValidPassword(entries.password)) {
        addToActivityLog(invalidPasswordMessage);
        return SaveOutcome::InvalidPassword;
    }
    if (!entries.group.isEmpty() && !validator.isValidLocation(entries.group)) {
        // Whatever was typed there (a password, often) stays out of the journal.
        addToActivityLog(entries.group + invalidGroupMessage,
                         QStringLiteral("<invalid group>") + invalidGroupMessage);
        return SaveOutcome::InvalidGroup;
    }
    return std::nullopt;
}

SaveOutcome tellVerdict(const ProfileCheckOutcome& verification, const QString& group) {
    if (!verification.answered) {
        addToActivityLog(unableToAuthenticateMessage);
        return SaveOutcome::Unanswered;
    }
    const auto& message = verification.message;
    if (!message || message->isEmpty()) {
        addToActivityLog(authenticationFailedMessage);
        return SaveOutcome::Refused;
    }
    // The provider may repeat the group, and a password typed there by mistake passes as one:
    // a word as long as a password can be is hidden in the journal's copy.
    QString copy = *message;
    if (group.size() >= shortestPassword)
        copy.replace(QRegularExpression("\\b" + QRegularExpression::escape(group) + "\\b"),
                     QStringLiteral("<group>"));
    addToActivityLog(*message, copy);
    return SaveOutcome::Refused;
}

SaveOutcome storeVerifiedSettings(const AccountEntries& entries) {
    // The verdict covers Save's own writes from here on (another thread's do not count): the
    // last holds all that Save stores, the two choices too, whatever came of the first.
    const UserDefaults::WriteCheck writes;
    const EarlierAccount earlier = earlierAccount();
    if (!storeInKeyringWhenChosen(entries))
        return SaveOutcome::NotStored;
    // In one write, so that a Save that cannot be stored leaves the earlier account whole. The
    // worker's next cycle is a first update, as after launch.
    UserDefaults::setValues(
        {{location, entries.group},
         {username, entries.username},
         {password, entries.passwordInKeyring
                        ? QVariant(QString(""))
                        : MyFunctions::storedConfigurationString(password, entries.password)},
         // Absent while off, so that the file stays as older versions wrote it.
         {passwordInKeyring, entries.passwordInKeyring ? QVariant(true) : QVariant()},
         {keyringEntryPerSettings, entries.passwordInKeyring ? QVariant(true) : QVariant()},
         {updateIPv4Address, entries.updateIPv4Address},
         {updateIPv6Address, entries.updateIPv6Address},
         {saved, true},
         {updatedipv4, QString("")},
         {updatedipv6, QString("")}});
    // Never claim success for a setting that did not reach the disk.
    if (!writes.allStored()) {
        addToActivityLog(notStoredMessage);
        undoKeyringWrite(entries, earlier);
        return SaveOutcome::NotStored;
    }
    settlePasswordPlace(entries, earlier);
    addToActivityLog(savedMessage);
    addToActivityLog(QString(""));
    wakeUpdateWorker();
    MyFunctions::refreshActivityLog();
    return SaveOutcome::Saved;
}

} // namespace

std::optional<ProfileCheckOutcome> checkProfileOnThisThread(const AccountEntries& entries) {
    ProfileCheckOutcome outcome;
    outcome.answered = MyFunctions::getClientProfileWithGroup(
        entries.username, entries.password, entries.group, outcome.result, outcome.message);
    return outcome;
}

SaveOutcome saveSettings(const AccountEntries& entries, const ProfileCheckWait& wait) {
    if (entries.choicesStoredIfRefused) {
        UserDefaults::setValues({{updateIPv4Address, entries.updateIPv4Address},
                                 {updateIPv6Address, entries.updateIPv6Address}});
        UserDefaults::synchronize();
    }

    if (const auto refusal = refusedEntry(entries))
        return *refusal;
    const auto verification = wait(entries);
    if (!verification)
        return SaveOutcome::Abandoned;
    if (!verification->answered || !verification->result)
        return tellVerdict(*verification, entries.group);
    return storeVerifiedSettings(entries);
}
