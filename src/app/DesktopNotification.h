#pragma once

#include <QString>

class QSystemTrayIcon;

// Tells the user something outside the window: in the tray's own message where there is a
// tray, otherwise as a freedesktop notification over the session's D-Bus, the only way
// left to reach a user of a desktop without a tray. Never waits for the desktop.
void notifyDesktop(QSystemTrayIcon* statusItem, const QString& title, const QString& body);
