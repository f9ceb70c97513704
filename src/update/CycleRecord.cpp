#include "update/CycleRecord.h"

#include "update/UpdaterLock.h"

#include <QFile>
#include <QSaveFile>

namespace {

QString recordPath() {
    return UpdaterLock::besideSettings(".newest-cycle");
}

} // namespace

namespace CycleRecords {

// One value a line: the process id, 1 or 0, the time, the failure note.
void write(const CycleRecord& record) {
    QSaveFile file(recordPath());
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QStringList lines = {QString::number(record.pid), record.succeeded ? "1" : "0",
                               record.time.toString(Qt::ISODate), record.failureNote};
    file.write((lines.join('\n') + '\n').toUtf8());
    file.commit();
}

std::optional<CycleRecord> read() {
    QFile file(recordPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (lines.size() < 4)
        return std::nullopt;
    return CycleRecord{lines[0].toLongLong(), lines[1] == "1",
                       QDateTime::fromString(lines[2], Qt::ISODate), lines[3]};
}

void remove() {
    QFile::remove(recordPath());
}

} // namespace CycleRecords
