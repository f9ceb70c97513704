#include "update/UpdaterLock.h"

#include "log/ActivityLog.h"
#include "settings/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int claimAttempts = 5;

struct flock wholeFile(short type) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock; // from the start, length 0: to the end, however long
}

// Whether the descriptor still refers to the file at the path: a holder that ends removes it.
bool isFileAt(int descriptor, const QByteArray& path) {
    struct stat opened = {}, named = {};
    return ::fstat(descriptor, &opened) == 0 && ::lstat(path, &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Earlier versions locked the same file with flock alone (QLockFile), which a record lock
// does not see: asking for that too keeps a new updater from starting beside an old one
// across an upgrade. It is let go at once, since a network file system makes flock a record
// lock of the descriptor's, which the process's own would then refuse.
bool heldByEarlierVersion(int descriptor) {
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(descriptor, LOCK_UN);
    return false;
}

UpdaterLock::Claim lock(int descriptor) {
    if (heldByEarlierVersion(descriptor))
        return UpdaterLock::Claim::HeldByAnother;
    struct flock record = wholeFile(F_WRLCK);
    if (::fcntl(descriptor, F_SETLK, &record) == 0)
        return UpdaterLock::Claim::Claimed;
    return errno == EACCES || errno == EAGAIN ? UpdaterLock::Claim::HeldByAnother
                                              : UpdaterLock::Claim::Unavailable;
}

// The longest program name that a lock file's label gives.
constexpr qint64 longestLabel = 255;

// For those to whom the kernel will not tell the program: a process that dropped root's
// rights is not theirs to inspect.
void nameHolder(int descriptor) {
    const QByteArray name = QFile::encodeName(UpdaterLock::programOf(::getpid()));
    if (::ftruncate(descriptor, 0) == 0) [[maybe_unused]]
        auto written = ::pwrite(descriptor, name.constData(), name.size(), 0);
}

QString labelIn(int descriptor) {
    char label[longestLabel];
    const ssize_t length = ::pread(descriptor, label, sizeof label, 0);
    return length > 0 ? QFile::decodeName(QByteArray(label, length)) : QString();
}

} // namespace

QString UpdaterLock::Holder::description() const {
    if (pid <= 0)
        return "an updater out of this machine's sight";
    // The name may be the lock file's label, which its user wrote.
    return QString("%1 (process %2)")
        .arg(program.isEmpty() ? "another program" : ActivityLog::terminalSafe(program))
        .arg(pid);
}

UpdaterLock::UpdaterLock() : path_(besideSettings(".updater.lock")) {}

UpdaterLock::~UpdaterLock() {
    release();
}

UpdaterLock::Claim UpdaterLock::claim() {
    // The folder is there before the first Save when a program starts on fresh settings.
    QDir().mkpath(QFileInfo(path_).path());
    const QByteArray path = QFile::encodeName(path_);
    for (int attempt = 0; attempt < claimAttempts; ++attempt) {
        const int descriptor = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0)
            return Claim::Unavailable;
        const Claim claim = lock(descriptor);
        // A lock on a file that its holder removed meanwhile holds off nobody: try the new one.
        if (claim == Claim::Claimed && isFileAt(descriptor, path)) {
            descriptor_ = descriptor;
            nameHolder(descriptor);
            return claim;
        }
        ::close(descriptor);
        if (claim != Claim::Claimed)
            return claim;
    }
    return Claim::Unavailable;
}

void UpdaterLock::release() {
    if (descriptor_ < 0)
        return;
    // Removed while still held, so that nobody takes a lock on a file that is going.
    const QByteArray path = QFile::encodeName(path_);
    if (isFileAt(descriptor_, path))
        ::unlink(path);
    ::close(descriptor_);
    descriptor_ = -1;
}

std::optional<UpdaterLock::Holder> UpdaterLock::holder() const {
    // Asked, never taken: an updater that starts meanwhile must not find it held. Its holder
    // would drop its own lock by closing the descriptor.
    if (descriptor_ >= 0)
        return std::nullopt;
    const int descriptor =
        ::open(QFile::encodeName(path_), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0)
        return std::nullopt;
    struct flock record = wholeFile(F_WRLCK);
    const bool told = ::fcntl(descriptor, F_GETLK, &record) == 0;
    std::optional<Holder> holder;
    if (told && record.l_type != F_UNLCK) {
        holder = Holder{record.l_pid, programOf(record.l_pid)};
        if (holder->program.isEmpty())
            holder->program = labelIn(descriptor);
    }
    ::close(descriptor);
    return holder;
}

QString UpdaterLock::settingsFile() {
    return UserDefaults::storeFile();
}

QString UpdaterLock::besideSettings(const QString& ending) {
    const QFileInfo settings(settingsFile());
    return settings.path() + '/' + settings.completeBaseName() + ending;
}

QString UpdaterLock::programOf(qint64 pid) {
    if (pid <= 0)
        return {};
    char target[PATH_MAX];
    const ssize_t length =
        ::readlink(QByteArray("/proc/" + QByteArray::number(pid) + "/exe"), target, sizeof target);
    if (length <= 0)
        return {};
    QString program = QFile::decodeName(QByteArray(target, length));
    // The kernel's name for a file that an upgrade replaced under the running process.
    const QString replaced = " (deleted)";
    if (program.endsWith(replaced))
        program.chop(replaced.size());
    return QFileInfo(program).fileName();
}
