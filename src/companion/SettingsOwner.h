#pragma once

#include <QString>

// Root's commands on settings that another user may own (the system service's, a user's):
// they act as the owner of the settings' folder, and only where nobody else can steer the
// path there. Without root, nothing to do.
namespace SettingsOwner {

// Drops to the owner of the folder that holds the settings file (or of the nearest folder
// above it that exists), with the owner's own groups, before anything there is opened.
// Refuses, saying why on standard error, when a folder on the way there can be changed by
// anyone but root and that owner, or when the owner's rights cannot be taken.
bool actAsOwnerOfSettings(const QString& folder);

} // namespace SettingsOwner
