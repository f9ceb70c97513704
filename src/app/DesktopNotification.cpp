#include "app/DesktopNotification.h"

#include "update/UpdaterLock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {

// A notification service that starts on demand may take a moment to answer.
constexpr int notificationPatienceMilliseconds = 5000;

QDBusMessage freedesktopNotification(const QString& title, const QString& body) {
    QDBusMessage notify = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                         "/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "Notify");
    const QVariantMap hints = {{"desktop-entry", QStringLiteral("com.vorlin.IPUpdateClient")}};
    notify << QStringLiteral("Vorlin IP Update Client") << 0u
           << QStringLiteral("com.vorlin.IPUpdateClient") << title << body << QStringList() << hints
           << -1;
    return notify;
}

} // namespace

void notifyDesktop(QSystemTrayIcon* statusItem, const QString& title, const QString& body) {
    if (statusItem && QSystemTrayIcon::isSystemTrayAvailable() && statusItem->supportsMessages())
        statusItem->showMessage(title, body);
    else // without a notification service the message is lost, as a missed balloon would be
        QDBusConnection::sessionBus().send(freedesktopNotification(title, body));
}

void tellBeforeEnding(const QString& title, const QString& body) {
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal")
        return; // no display: standard error is all there is
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        freedesktopNotification(title, body), QDBus::Block, notificationPatienceMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage)
        QMessageBox(QMessageBox::Warning, title, body).exec();
}

bool firstTimeToTell(const QString& mark) {
    QFile told(UpdaterLock::besideSettings(mark));
    if (told.exists())
        return false;
    // Where the mark cannot be made, telling every time beats never telling.
    told.open(QIODevice::WriteOnly);
    return true;
}

void forgetTold(const QString& mark) {
    QFile::remove(UpdaterLock::besideSettings(mark));
}
