#include "app/SingleInstance.h"

#include "log/StandardErrorWriter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace {

// Through the log's writer: a standard error that nobody reads must not hold up start-up.
void tell(const QString& problem) {
    StandardErrorWriter::queue(("vorlin-ipupdate: " + problem + '\n').toUtf8());
}

constexpr int connectAttempts = 20;
constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions ownerGroupOther = ownerOnly | QFile::ReadGroup | QFile::WriteGroup |
                                               QFile::ExeGroup | QFile::ReadOther |
                                               QFile::WriteOther | QFile::ExeOther;

// Named after the settings file, so that copies with settings of their own (the demo)
// do not count as the same copy.
QString instanceName() {
    const QByteArray digest =
        QCryptographicHash::hash(UpdaterLock::settingsFile().toUtf8(), QCryptographicHash::Sha256);
    return "vorlin-ipupdate-" + QString::fromLatin1(digest.toHex().left(16));
}

bool isPrivateFolder(const QString& path) {
    const QFileInfo folder(path);
    return folder.isDir() && !folder.isSymLink() && folder.ownerId() == ::getuid() &&
           (folder.permissions() & ownerGroupOther) == ownerOnly;
}

// Qt hands out the user's runtime folder only when it is the user's own and mode 0700;
// without one, a folder of our own in the temporary folder, if nobody else made it first.
QString privateFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    const QString own = QDir::tempPath() + "/vorlin-ipupdate-" + QString::number(::getuid());
    QDir().mkdir(own, ownerOnly);
    return isPrivateFolder(own) ? own : QString();
}

} // namespace

SingleInstance::SingleInstance() {
    const QString folder = privateFolder();
    if (!folder.isEmpty())
        socketPath_ = folder + '/' + instanceName();
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->deleteLater();
            emit anotherStartRequested();
        }
    });
}

SingleInstance::Claim SingleInstance::claim() {
    switch (lock_.claim()) {
    case UpdaterLock::Claim::Unavailable:
        tell("cannot create " + lock_.path() + "; a second copy may start");
        return Claim::Run;
    case UpdaterLock::Claim::HeldByAnother:
        return giveWay();
    case UpdaterLock::Claim::Claimed:
        break;
    }
    if (socketPath_.isEmpty())
        tell("no private runtime folder; a second start cannot show this copy's window");
    else
        listen();
    return Claim::Run;
}

SingleInstance::Claim SingleInstance::giveWay() const {
    const auto holder = lock_.holder();
    if (holder && holder->program != UpdaterLock::programOf(QCoreApplication::applicationPid())) {
        tell(holder->description() + " already updates with " + UpdaterLock::settingsFile());
        return Claim::Refused;
    }
    if (socketPath_.isEmpty() || !askRunningCopyToShow())
        tell("another copy is running but does not answer");
    return Claim::ShownOther;
}

void SingleInstance::release() {
    server_.close();
    lock_.release();
}

void SingleInstance::listen() {
    // With an access option Qt binds in a folder of its own and renames the socket into place,
    // over one that a copy that is gone left behind.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath_))
        tell("cannot listen on " + socketPath_ + ": " + server_.errorString());
}

bool SingleInstance::askRunningCopyToShow() const {
    // The running copy may still be starting: give it a moment to listen.
    for (int attempt = 0; attempt < connectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(100)) {
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}
