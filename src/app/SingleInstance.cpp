#include "app/SingleInstance.h"

#include "settings/UserDefaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>

namespace {

constexpr int connectAttempts = 20;

// Named after the settings file, so that copies with settings of their own (the demo)
// do not count as the same copy.
QString instanceName() {
    const QSettings store(UserDefaults::organizationName, UserDefaults::applicationName);
    const QByteArray digest =
        QCryptographicHash::hash(store.fileName().toUtf8(), QCryptographicHash::Sha256);
    return "vorlin-ipupdate-" + QString::fromLatin1(digest.toHex().left(16));
}

QString lockFilePath(const QString& name) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + '/' + name + ".lock";
}

} // namespace

SingleInstance::SingleInstance() : name_(instanceName()) {
    lock_ = std::make_unique<QLockFile>(lockFilePath(name_));
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
    // Held by a live copy; a lock whose process is gone is taken over here.
    if (!lock_->tryLock(0)) {
        if (!askRunningCopyToShow())
            std::fprintf(stderr, "vorlin-ipupdate: another copy is running but does not answer\n");
        return false;
    }
    QLocalServer::removeServer(name_); // a socket left by a crashed copy
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_);
    return true;
}

bool SingleInstance::askRunningCopyToShow() const {
    // The running copy may still be starting: give it a moment to listen.
    for (int attempt = 0; attempt < connectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(100)) {
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}
