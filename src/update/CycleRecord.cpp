#include "update/CycleRecord.h"

#include "settings/UserDefaults.h"
#include "update/UpdaterLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where status looks: beside the settings, where every user of them finds it.
QString besideSettings() {
    return UpdaterLock::besideSettings(".newest-cycle");
}

// Puts a link beside the settings to the record, in one step over whatever was there.
void pointTo(const QString& record) {
    const QString link = besideSettings(), fresh = link + ".new";
    QFile::remove(fresh);
    if (QFile::link(record, fresh))
        ::rename(QFile::encodeName(fresh), QFile::encodeName(link));
}

// A runtime folder that is this user's alone; an inherited one (root's, after su) is not.
bool isOwnRuntimeFolder(const QString& folder) {
    struct stat status = {};
    return !folder.isEmpty() && ::lstat(QFile::encodeName(folder), &status) == 0 &&
           S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0077) == 0;
}

// The record changes every cycle and need not outlive the updater, so it goes to the runtime
// folder that systemd made for the service, or the user's, both in memory; without either,
// beside the settings, in place of what an earlier updater left there.
QString recordPath() {
    static const QString path = [] {
        QString folder = qEnvironmentVariable("RUNTIME_DIRECTORY").section(':', 0, 0);
        if (!isOwnRuntimeFolder(folder))
            folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!isOwnRuntimeFolder(folder)) {
            QFile::remove(besideSettings());
            return besideSettings();
        }
        const QString record = folder + "/vorlin-ipupdated-" +
                               UserDefaults::digestOf(UpdaterLock::settingsFile()) +
                               ".newest-cycle";
        pointTo(record);
        return record;
    }();
    return path;
}

// Held while the record is written or read, so that status never reads half a record.
class LockedRecord {
public:
    LockedRecord(const QString& path, int flags, int lock)
        : descriptor_(::open(QFile::encodeName(path), flags | O_CLOEXEC, 0600)) {
        if (descriptor_ >= 0)
            ::flock(descriptor_, lock);
    }
    ~LockedRecord() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    LockedRecord(const LockedRecord&) = delete;
    LockedRecord& operator=(const LockedRecord&) = delete;
    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace

namespace CycleRecords {

CycleRecord recordOutcome(const CycleOutcome& outcome) {
    static QDateTime lastSuccess;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (outcome.succeeded)
        lastSuccess = now;
    const CycleRecord record{QCoreApplication::applicationPid(),
                             outcome.succeeded,
                             now,
                             outcome.failureNote,
                             outcome.statusWord,
                             lastSuccess};
    write(record);
    return record;
}

// One value a line: the process id, 1 or 0, the time, the failure note, then the service's
// status word (percent-encoded: the service may send line breaks) and the time of the newest
// success, empty for none. Readers of the first four alone read on as before. Times are ISO 8601
// with their offset (those recordOutcome makes are UTC). Written in place, without a sync: nothing
// on disk changes while cycles go on alike.
void write(const CycleRecord& record) {
    const LockedRecord file(recordPath(), O_WRONLY | O_CREAT | O_NOFOLLOW, LOCK_EX);
    const QStringList lines = {QString::number(record.pid),
                               record.succeeded ? "1" : "0",
                               record.time.toString(Qt::ISODate),
                               record.failureNote,
                               QUrl::toPercentEncoding(record.statusWord),
                               record.lastSuccess.toString(Qt::ISODate)};
    const QByteArray content = (lines.join('\n') + '\n').toUtf8();
    if (file.descriptor() < 0 || ::ftruncate(file.descriptor(), 0) != 0)
        return;
    [[maybe_unused]] const auto written = ::write(file.descriptor(), content, content.size());
}

std::optional<CycleRecord> read() {
    const LockedRecord locked(besideSettings(), O_RDONLY | O_NONBLOCK, LOCK_SH);
    QFile file;
    if (locked.descriptor() < 0 ||
        !file.open(locked.descriptor(), QIODevice::ReadOnly, QFile::DontCloseHandle))
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (lines.size() < 4)
        return std::nullopt;
    // An updater started before the record had its last two lines leaves them empty.
    return CycleRecord{lines[0].toLongLong(),
                       lines[1] == "1",
                       QDateTime::fromString(lines[2], Qt::ISODate),
                       lines[3],
                       QUrl::fromPercentEncoding(lines.value(4).toUtf8()),
                       QDateTime::fromString(lines.value(5), Qt::ISODate)};
}

void remove() {
    QFile::remove(recordPath());
    QFile::remove(besideSettings());
}

} // namespace CycleRecords
