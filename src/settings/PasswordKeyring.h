#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// The desktop's keyring, where a user may keep the account's password instead of the settings
// file. The desktop program installs one at start; the companion, which runs where no user's
// keyring is, installs none. Only the main thread calls it: its answers need the event loop,
// and a keyring may first ask to be unlocked. The worker only reads the password held in memory.
class PasswordKeyring {
public:
    virtual ~PasswordKeyring() = default;

    // Entries are named by a key; the keyring's own words go in a sentence of the caller's.
    struct Read {
        std::optional<QString> password; // none when it could not be read
        QString failure;                 // why not, unless:
        bool noEntry = false; // none under the key, or the keyring stayed locked: a refused
                              // unlock prompt answers the same
    };
    struct Removal {
        bool noEntry = false;           // as when read
        std::optional<QString> failure; // why the entry may remain
    };

    // These two answer later, from the event loop: a start never waits for the keyring.
    // None when the keyring can be used; otherwise why not, in plain words.
    virtual void checkAvailability(std::function<void(std::optional<QString>)> answer) = 0;
    virtual void readPassword(const QString& key, std::function<void(Read)> answer) = 0;

    // These wait for the answer, with an event loop of their own: Save needs it.
    // None when stored; otherwise the keyring's reason.
    virtual std::optional<QString> writePassword(const QString& key, const QString& password) = 0;
    virtual Removal deletePassword(const QString& key) = 0;
};

namespace PasswordKeyrings {

void install(std::shared_ptr<PasswordKeyring> keyring); // nullptr removes it
std::shared_ptr<PasswordKeyring> installed();

// The password that the keyring gave for a user name, held for the worker; safe from any
// thread.
struct HeldPassword {
    QString username;
    QString password;
};
void hold(std::optional<HeldPassword> password);
// How many times a password was held or let go: an answer that comes late tells by it whether
// a Save held a newer one meanwhile.
quint64 holdCount();
// The held password when it belongs to the user name; none otherwise.
std::optional<QString> heldPassword(const QString& username);

} // namespace PasswordKeyrings
