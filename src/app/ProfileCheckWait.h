#pragma once

#include "account/SaveSettings.h"

// Runs the profile check on a thread of its own while the calling (GUI) thread goes on with
// its events: what must not be used meanwhile is to be disabled. None when the application was
// asked to quit before the reply came: the request is then left to end with the process.
std::optional<ProfileCheckOutcome> checkProfileWhilePainting(const AccountEntries& entries);
