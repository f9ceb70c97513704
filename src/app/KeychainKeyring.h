#pragma once

#include "settings/PasswordKeyring.h"

// The desktop's keyring through QtKeychain: the Secret Service (GNOME Keyring, KeePassXC)
// or KWallet, one entry per user name. Each call runs an event loop of its own until the
// keyring answers, so the window keeps painting while the keyring asks to be unlocked.
class KeychainKeyring : public PasswordKeyring {
public:
    std::optional<QString> unavailability() override;
    Read readPassword(const QString& username) override;
    std::optional<QString> writePassword(const QString& username, const QString& password) override;
    void deletePassword(const QString& username) override;
};
