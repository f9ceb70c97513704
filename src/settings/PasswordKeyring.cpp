#include "settings/PasswordKeyring.h"

#include <mutex>

namespace {

std::mutex keyringMutex;
std::shared_ptr<PasswordKeyring> installedKeyring;
std::optional<PasswordKeyrings::HeldPassword> held;

} // namespace

namespace PasswordKeyrings {

void install(std::shared_ptr<PasswordKeyring> keyring) {
    const std::lock_guard lock(keyringMutex);
    installedKeyring = std::move(keyring);
}

std::shared_ptr<PasswordKeyring> installed() {
    const std::lock_guard lock(keyringMutex);
    return installedKeyring;
}

void hold(std::optional<HeldPassword> password) {
    const std::lock_guard lock(keyringMutex);
    held = std::move(password);
}

std::optional<QString> heldPassword(const QString& username) {
    const std::lock_guard lock(keyringMutex);
    if (!held || held->username != username)
        return std::nullopt;
    return held->password;
}

} // namespace PasswordKeyrings
