#pragma once

#include <QString>
#include <functional>
#include <optional>

// What the user entered for Save, read once: a field that changes while Save waits for the
// provider must not change what is stored.
struct AccountEntries {
    QString username;
    QString password;
    QString group; // empty for none
    bool updateIPv4Address = true;
    bool updateIPv6Address = true;
    bool passwordInKeyring = false; // rather than in the settings file
    // The window stores the two address choices whatever comes of the rest; a command that
    // reports a refusal leaves the settings as they were.
    bool choicesStoredIfRefused = true;
};

// What the provider made of an account: whether a usable reply came, and if so the verdict
// and the provider's explanation.
struct ProfileCheckOutcome {
    bool answered = false;
    bool result = false;
    std::optional<QString> message;
};

// How Save waits for the profile check. None when the wait was given up because the program
// is quitting: there is no verdict to tell then.
using ProfileCheckWait = std::function<std::optional<ProfileCheckOutcome>(const AccountEntries&)>;

// Asks the provider on the calling thread, which it blocks.
std::optional<ProfileCheckOutcome> checkProfileOnThisThread(const AccountEntries& entries);

// How a Save ended. Every outcome but Abandoned has written its line to the activity log.
enum class SaveOutcome {
    Saved,
    InvalidUsername,
    InvalidPassword,
    InvalidGroup, // the group entry is to be emptied
    Unanswered,
    Refused,
    NotStored, // verified, but a write did not reach the disk or the keyring
    Abandoned,
};

// Save: stores the two report choices (with the account only, where the entries say so), checks
// the entries, verifies the account with the
// provider and, when it is accepted, stores it and wakes the update worker for a cycle that
// announces itself as a first update.
SaveOutcome saveSettings(const AccountEntries& entries,
                         const ProfileCheckWait& wait = checkProfileOnThisThread);
