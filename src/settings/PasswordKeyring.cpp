#include "settings/PasswordKeyring.h"

#include <mutex>

namespace {

std::mutex keyringMutex;
std::shared_ptr<PasswordKeyring> installedKeyring;
std::optional<PasswordKeyrings::HeldPassword> held;
quint64 holds = 0;

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
    ++holds;
}

quint64 holdCount() {
    const std::lock_guard lock(keyringMutex);
    return holds;
}

std::optional<QString> heldPassword(const QString& username) {
    const std::lock_guard lock(keyringMutex);
    if (!held || held->username != username)
        return std::nullopt;
    return held->password;
}

} // namespace PasswordKeyrings
