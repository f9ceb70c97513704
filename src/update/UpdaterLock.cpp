#include "update/UpdaterLock.h"

#include "settings/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>
#include <cerrno>
#include <csignal>

namespace {

// As the lock itself judges it: the process lives and runs the program that took the lock.
// A process of another user whose program cannot be read counts as running.
bool isRunning(const UpdaterLock::Holder& holder) {
    if (::kill(static_cast<pid_t>(holder.pid), 0) != 0 && errno != EPERM)
        return false;
    const QString program = QFileInfo(QString("/proc/%1/exe").arg(holder.pid)).symLinkTarget();
    return program.isEmpty() || QFileInfo(program).fileName() == holder.program;
}

} // namespace

UpdaterLock::UpdaterLock() : path_(besideSettings(".updater.lock")), lock_(path_) {
    // A running updater's lock never turns stale by age; one whose process is gone does.
    lock_.setStaleLockTime(0);
}

UpdaterLock::Claim UpdaterLock::claim() {
    // The folder is there before the first Save when a program starts on fresh settings.
    QDir().mkpath(QFileInfo(path_).path());
    if (lock_.tryLock(0))
        return Claim::Claimed;
    return lock_.error() == QLockFile::LockFailedError ? Claim::HeldByAnother : Claim::Unavailable;
}

void UpdaterLock::release() {
    lock_.unlock();
}

std::optional<UpdaterLock::Holder> UpdaterLock::holder() const {
    // Read, never taken: an updater that starts meanwhile must not find it held.
    Holder holder;
    QString host;
    if (!lock_.getLockInfo(&holder.pid, &host, &holder.program))
        return std::nullopt;
    holder.onThisMachine = host.isEmpty() || host == QSysInfo::machineHostName();
    if (holder.onThisMachine && !isRunning(holder))
        return std::nullopt;
    return holder;
}

QString UpdaterLock::settingsFile() {
    return QSettings(UserDefaults::organizationName, UserDefaults::applicationName).fileName();
}

QString UpdaterLock::besideSettings(const QString& ending) {
    const QFileInfo settings(settingsFile());
    return settings.path() + '/' + settings.completeBaseName() + ending;
}
