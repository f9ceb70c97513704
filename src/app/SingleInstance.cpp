#include "app/SingleInstance.h"

#include "log/StandardErrorWriter.h"
#include "settings/UserDefaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSettings>
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
    const QSettings store(UserDefaults::organizationName, UserDefaults::applicationName);
    const QByteArray digest =
        QCryptographicHash::hash(store.fileName().toUtf8(), QCryptographicHash::Sha256);
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
    if (folder.isEmpty())
        return;
    socketPath_ = folder + '/' + instanceName();
    lock_ = std::make_unique<QLockFile>(socketPath_ + ".lock");
    // A running copy's lock never turns stale by age; one whose process is gone does.
    lock_->setStaleLockTime(0);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->deleteLater();
            emit anotherStartRequested();
        }
    });
}

bool SingleInstance::claim() {
    if (!lock_) {
        tell("no private runtime folder; a second copy may start");
        return true;
    }
    // Held by a live copy; a lock whose process is gone is taken over here.
    if (!lock_->tryLock(0)) {
        if (lock_->error() != QLockFile::LockFailedError) {
            tell("cannot create " + socketPath_ + ".lock");
            return true;
        }
        if (!askRunningCopyToShow())
            tell("another copy is running but does not answer");
        return false;
    }
    listen();
    return true;
}

void SingleInstance::release() {
    server_.close();
    if (lock_)
        lock_->unlock();
}

void SingleInstance::listen() {
    QLocalServer::removeServer(socketPath_); // left by a copy that is gone: we hold the lock
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
