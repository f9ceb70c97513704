#pragma once

#include <QString>

class QSystemTrayIcon;

// Tells the user something outside the window: in the tray's own message where there is a
// tray, otherwise as a freedesktop notification over the session's D-Bus, the only way
// left to reach a user of a desktop without a tray. Never waits for the desktop.
void notifyDesktop(QSystemTrayIcon* statusItem, const QString& title, const QString& body);

// Tells a start that ends at once why, where a display is (a start from the desktop's menu has
// no terminal): as a notification, or in a message box where no notification service answers
// in time.
void tellBeforeEnding(const QString& title, const QString& body);

// Whether the user has not been told this yet; a file beside the settings, named with the mark,
// remembers it (the settings being the user's own to change), until forgotten.
bool firstTimeToTell(const QString& mark);
void forgetTold(const QString& mark);
