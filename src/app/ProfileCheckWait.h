#pragma once

#include "account/SaveSettings.h"

#include <functional>

class QObject;

// Runs the profile check on a thread of its own while the calling (GUI) thread goes on
// painting and handling timers and signals, but drops the user's input except where
// stillTakesInput says otherwise (the way to Quit). None when the application was asked to
// quit before the reply came: the request is then left to end with the process.
std::optional<ProfileCheckOutcome>
checkProfileWhilePainting(const AccountEntries& entries,
                          const std::function<bool(QObject*)>& stillTakesInput);
