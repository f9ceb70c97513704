#include "app/SingleInstance.h"

#include "log/StandardErrorWriter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QThread>

namespace {

const QString applicationId = "com.vorlin.IPUpdateClient";
const QString objectPath = "/com/vorlin/IPUpdateClient";
const QString interfaceName = "org.freedesktop.Application";
constexpr int askAttempts = 20;
constexpr int askMilliseconds = 2000;

// Through the log's writer: a standard error that nobody reads must not hold up start-up.
void tell(const QString& problem) {
    StandardErrorWriter::queue(("vorlin-ipupdate: " + problem + '\n').toUtf8());
}

// The launcher's token, which lets the running copy's window come forward: on Wayland only
// with it, on X11 as the startup notification's id.
QVariantMap activationData() {
    QVariantMap data;
    if (const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert("activation-token", token);
    if (const QString id = qEnvironmentVariable("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert("desktop-startup-id", id);
    return data;
}

} // namespace

SingleInstance::SingleInstance()
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "vorlin-single-instance")) {}

QString SingleInstance::busName() {
    // Named after the settings file, so that copies with settings of their own (the demo,
    // the tests) do not count as the same copy.
    const QByteArray digest =
        QCryptographicHash::hash(UpdaterLock::settingsFile().toUtf8(), QCryptographicHash::Sha256);
    return applicationId + ".s" + QString::fromLatin1(digest.toHex().left(16));
}

SingleInstance::Claim SingleInstance::claim(bool quietly) {
    switch (lock_.claim()) {
    case UpdaterLock::Claim::Unavailable:
        tell("cannot create " + lock_.path() + "; a second copy may start");
        break;
    case UpdaterLock::Claim::HeldByAnother:
        return giveWay(quietly);
    case UpdaterLock::Claim::Claimed:
        break;
    }
    if (!bus_.isConnected()) {
        tell("no session bus; a second start cannot show this copy's window");
        return Claim::Run;
    }
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    if (!bus_.interface()->registerService(busName(), QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement))
        tell("cannot own " + busName() + " on the session bus: " + bus_.lastError().message());
    return Claim::Run;
}

SingleInstance::Claim SingleInstance::giveWay(bool quietly) const {
    const auto holder = lock_.holder();
    if (holder && holder->program != UpdaterLock::programOf(QCoreApplication::applicationPid())) {
        tell(holder->description() + " already updates with " + UpdaterLock::settingsFile());
        return Claim::Refused;
    }
    // A quiet start (at login) has nothing to show: a session restore may have started the
    // program already.
    if (!quietly && !askRunningCopyToShow())
        tell("another copy is running but does not answer");
    return Claim::ShownOther;
}

void SingleInstance::release() {
    if (bus_.isConnected())
        bus_.interface()->unregisterService(busName());
    lock_.release();
}

void SingleInstance::Activate(const QVariantMap& platformData) {
    // Qt's Wayland window takes the token from the environment when it asks to come forward.
    const QString token = platformData.value("activation-token").toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    emit anotherStartRequested();
}

bool SingleInstance::askRunningCopyToShow() const {
    if (!bus_.isConnected())
        return false;
    QDBusMessage activate =
        QDBusMessage::createMethodCall(busName(), objectPath, interfaceName, "Activate");
    activate << activationData();
    activate.setAutoStartService(false);
    // The running copy may still be starting: it takes the lock before the name.
    for (int attempt = 0; attempt < askAttempts; ++attempt) {
        const QDBusMessage reply = bus_.call(activate, QDBus::Block, askMilliseconds);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        if (reply.errorName() != "org.freedesktop.DBus.Error.ServiceUnknown")
            return false;
        QThread::msleep(100);
    }
    return false;
}
