#pragma once

#include <QString>
#include <memory>

// The option the login item starts the program with: at login, its window waits where there
// is no tray.
inline constexpr auto startedAtLoginOption = "--background";

// Whether the client starts by itself when the user logs in. The platform's own record of
// that (an XDG autostart entry, a macOS login item) is the state; no setting keeps it.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    // False when the platform's record could not be written or removed.
    virtual bool setEnabled(bool enabled) = 0;
    // Brings a record that an earlier version wrote up to date.
    virtual void keepCurrent() = 0;
};

// The login item of this platform for the given program; nullptr where there is none yet.
std::unique_ptr<LoginItem> makeLoginItem(const QString& programPath);
