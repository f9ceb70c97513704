#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

// The desktop's notification service, as the test's own session bus has it: records what it is
// told, while it lives.
class NotificationServer : public QDBusVirtualObject {
public:
    NotificationServer() {
        bus_.registerVirtualObject("/org/freedesktop/Notifications", this);
        registered = bus_.registerService("org.freedesktop.Notifications");
    }
    ~NotificationServer() override { bus_.unregisterService("org.freedesktop.Notifications"); }

    bool handleMessage(const QDBusMessage& notify, const QDBusConnection& bus) override {
        titles << notify.arguments().value(3).toString();
        bodies << notify.arguments().value(4).toString();
        return bus.send(notify.createReply(uint(titles.size())));
    }
    QString introspect(const QString&) const override { return {}; }

    bool registered = false;
    QStringList titles, bodies;

private:
    QDBusConnection bus_ = QDBusConnection::sessionBus();
};
