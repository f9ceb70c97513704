#include "app/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {

void sendFreedesktopNotification(const QString& title, const QString& body) {
    QDBusMessage notify = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                         "/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "Notify");
    const QVariantMap hints = {{"desktop-entry", QStringLiteral("com.vorlin.IPUpdateClient")}};
    notify << QStringLiteral("Vorlin IP Update Client") << 0u
           << QStringLiteral("com.vorlin.IPUpdateClient") << title << body << QStringList() << hints
           << -1;
    // Without a notification service the message is lost, as a missed balloon would be.
    QDBusConnection::sessionBus().send(notify);
}

} // namespace

void notifyDesktop(QSystemTrayIcon* statusItem, const QString& title, const QString& body) {
    if (statusItem && QSystemTrayIcon::isSystemTrayAvailable() && statusItem->supportsMessages())
        statusItem->showMessage(title, body);
    else
        sendFreedesktopNotification(title, body);
}
