#pragma once

#include "settings/PasswordKeyring.h"

// The desktop's keyring through QtKeychain: the Secret Service (GNOME Keyring, KeePassXC)
// or KWallet, one entry per key.
class KeychainKeyring : public PasswordKeyring {
public:
    void checkAvailability(std::function<void(std::optional<QString>)> answer) override;
    void readPassword(const QString& key, std::function<void(Read)> answer) override;
    std::optional<QString> writePassword(const QString& key, const QString& password) override;
    Removal deletePassword(const QString& key) override;
};
