#include "app/SingleInstance.h"

#include "log/StandardErrorWriter.h"
#include "settings/UserDefaults.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QThread>

namespace {

const QString applicationId = "com.vorlin.IPUpdateClient";
const QString objectPath = "/com/vorlin/IPUpdateClient";
const QString interfaceName = "org.freedesktop.Application";
// A copy may take a while to start on a busy machine: it answers once its event loop runs.
constexpr int askAttempts = 100;
constexpr int askMilliseconds = 2000;

// Through the log's writer: a standard error that nobody reads must not hold up start-up.
void tell(const QString& problem) {
    StandardErrorWriter::queue(("vorlin-ipupdate: " + problem + '\n').toUtf8());
}

QString busNameOf(const QString& settingsFile) {
    return applicationId + ".s" + UserDefaults::digestOf(settingsFile);
}

// A copy that starts takes the lock before the name, and one that quits lets go of the name
// first: for a moment the name has no owner.
bool hasNoOwner(const QDBusMessage& reply) {
    return reply.errorName() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           reply.errorName() == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

} // namespace

SingleInstance::SingleInstance(LaunchActivation launch)
    : launch_(std::move(launch)),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "vorlin-single-instance")) {}

QString SingleInstance::busName() {
    // Named after the settings file, so that copies with settings of their own (the demo,
    // the tests) do not count as the same copy, and the file's spellings as the same.
    return busNameOf(UserDefaults::canonicalStoreFile());
}

SingleInstance::Claim SingleInstance::claim(bool quietly) {
    switch (lock_.claim()) {
    case UpdaterLock::Claim::HeldByAnother:
        return giveWay(quietly);
    case UpdaterLock::Claim::Unavailable:
        return takeName(false, quietly);
    case UpdaterLock::Claim::Claimed:
        break;
    }
    return Claim::Run;
}

void SingleInstance::publish() {
    if (lock_.holds())
        takeName(true, false);
}

SingleInstance::Claim SingleInstance::giveWay(bool quietly) {
    const auto holder = lock_.holder();
    if (holder && holder->program != UpdaterLock::programOf(QCoreApplication::applicationPid()))
        return refuse(Claim::Refused, holder,
                      holder->description() + " already updates with " +
                          UpdaterLock::settingsFile() + ".");
    // A quiet start (at login) has nothing to show: a session restore may have started the
    // program already.
    return quietly ? Claim::ShownOther : askRunningCopy(holder);
}

SingleInstance::Claim SingleInstance::takeName(bool locked, bool quietly) {
    if (!locked)
        tell("cannot create " + lock_.path() + "; only the session bus keeps a second copy away");
    if (!bus_.isConnected()) {
        tell("no session bus; a second start cannot show this copy's window");
        return Claim::Run;
    }
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> registered =
        bus_.interface()->registerService(busName(), QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (registered.value() == QDBusConnectionInterface::ServiceRegistered)
        return Claim::Run;
    const auto owner = nameOwner();
    if (!locked && owner) // a copy runs, which the lock could not tell
        return quietly ? Claim::ShownOther : askRunningCopy(owner);
    tell("cannot own " + busName() + " on the session bus: " +
         (owner ? owner->description() + " owns it" : registered.error().message()));
    return Claim::Run;
}

// Meanwhile the lock may come free, and then this start runs. A copy that still runs an
// earlier version owns the name of the settings file's path as it is spelled.
SingleInstance::Claim
SingleInstance::askRunningCopy(const std::optional<UpdaterLock::Holder>& holder) {
    if (!bus_.isConnected()) { // nothing tells whether it answers
        tell("no session bus; the copy that runs cannot be asked to show its window");
        return Claim::ShownOther;
    }
    const QString earlierName = busNameOf(UpdaterLock::settingsFile());
    for (int attempt = 0; attempt < askAttempts; ++attempt) {
        const QDBusMessage reply = activate(busName());
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Claim::ShownOther;
        if (!hasNoOwner(reply))
            break;
        if (attempt == 0 && earlierName != busName() &&
            activate(earlierName).type() == QDBusMessage::ReplyMessage)
            return Claim::ShownOther;
        QThread::msleep(100);
        if (lock_.claim() == UpdaterLock::Claim::Claimed)
            return Claim::Run;
    }
    return refuse(Claim::Unanswered, holder,
                  "Another copy" + (holder ? ", " + holder->description() + "," : QString()) +
                      " is running but does not answer.");
}

QDBusMessage SingleInstance::activate(const QString& name) const {
    QDBusMessage activate =
        QDBusMessage::createMethodCall(name, objectPath, interfaceName, "Activate");
    activate << launch_.platformData();
    activate.setAutoStartService(false);
    return bus_.call(activate, QDBus::Block, askMilliseconds);
}

std::optional<UpdaterLock::Holder> SingleInstance::nameOwner() const {
    const QDBusReply<uint> pid = bus_.interface()->servicePid(busName());
    if (!pid.isValid())
        return std::nullopt;
    return UpdaterLock::Holder{pid.value(), UpdaterLock::programOf(pid.value())};
}

SingleInstance::Claim SingleInstance::refuse(Claim claim,
                                             const std::optional<UpdaterLock::Holder>& other,
                                             const QString& reason) {
    reason_ = reason;
    otherProgram_ = other ? other->program : QString();
    tell(reason);
    return claim;
}

void SingleInstance::release() {
    if (bus_.isConnected())
        bus_.interface()->unregisterService(busName());
    lock_.release();
}

void SingleInstance::Activate(const QVariantMap& platformData) {
    emit anotherStartRequested(LaunchActivation::fromPlatformData(platformData));
}
