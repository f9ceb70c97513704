#pragma once

#include "settings/PasswordKeyring.h"

// The desktop's keyring through QtKeychain: the Secret Service (GNOME Keyring, KeePassXC)
// or KWallet, one entry per user name.
class KeychainKeyring : public PasswordKeyring {
public:
    void checkAvailability(std::function<void(std::optional<QString>)> answer) override;
    void readPassword(const QString& username, std::function<void(Read)> answer) override;
    std::optional<QString> writePassword(const QString& username, const QString& password) override;
    std::optional<QString> deletePassword(const QString& username) override;
};
