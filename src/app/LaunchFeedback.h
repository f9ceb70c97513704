#pragma once

#include <QString>
#include <QVariantMap>

class QWidget;

// What a launcher gives the program it starts, so that its window may come forward past the
// desktop's rules against focus stealing: a startup notification's id (X11), an activation
// token (Wayland). A start finds them in its environment, where the application object clears
// the id, so they are read before it is made; a start that gives way hands them to the copy
// that runs.
struct LaunchActivation {
    QString startupId; // DESKTOP_STARTUP_ID
    QString token;     // XDG_ACTIVATION_TOKEN

    static LaunchActivation fromEnvironment();
    // As the freedesktop Application interface carries them.
    QVariantMap platformData() const;
    static LaunchActivation fromPlatformData(const QVariantMap& data);
};

namespace LaunchFeedback {

// Hands the launch to the window before it comes forward for it.
void prepare(QWidget& window, const LaunchActivation& launch);
// Ends the launcher's startup notification (X11), which a window that shows ends by itself.
// Wayland has no such request: a token that brought no window forward times out.
void end(const LaunchActivation& launch);

} // namespace LaunchFeedback
