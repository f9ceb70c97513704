#pragma once

#include <QString>
#include <optional>

// What the provider made of an account: whether a usable reply came, and if so the
// verdict and the provider's explanation.
struct ProfileCheckOutcome {
    bool answered = false;
    bool result = false;
    std::optional<QString> message;
};

// Runs the profile check on a thread of its own while the calling (GUI) thread goes on
// painting and handling timers and signals, but drops the user's input. None when the
// application was asked to quit before the reply came: the request is then left to end
// with the process.
std::optional<ProfileCheckOutcome>
checkProfileWhilePainting(const QString& username, const QString& password, const QString& group);
