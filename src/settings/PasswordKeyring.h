#pragma once

#include <QString>
#include <memory>
#include <optional>

// The desktop's keyring, where a user may keep the account's password instead of the settings
// file. The desktop program installs one at start; the companion, which runs where no user's
// keyring is, installs none. Each call may wait for the keyring, its unlock prompt included:
// the main thread alone calls it, and the worker only ever reads the password held in memory.
class PasswordKeyring {
public:
    virtual ~PasswordKeyring() = default;

    // None when the keyring can be used; otherwise why not, in a sentence.
    virtual std::optional<QString> unavailability() = 0;

    struct Read {
        std::optional<QString> password; // none when it could not be read
        QString failure;                 // why not
    };
    virtual Read readPassword(const QString& username) = 0;
    // None when stored; otherwise the keyring's reason.
    virtual std::optional<QString> writePassword(const QString& username,
                                                 const QString& password) = 0;
    virtual void deletePassword(const QString& username) = 0;
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
// The held password when it belongs to the user name; none otherwise.
std::optional<QString> heldPassword(const QString& username);

} // namespace PasswordKeyrings
