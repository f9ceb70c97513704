#pragma once

#include "log/ActivityLog.h"

#include <QDateTime>
#include <QString>
#include <optional>

// How the newest update cycle of a running updater went, kept in a small file for the
// companion's status, which finds it beside the settings: the updater rewrites it after every
// cycle and removes it when it ends. The process id tells a record of the running updater
// from one left by an updater that was killed.
struct CycleRecord {
    qint64 pid = 0;
    bool succeeded = false;
    QDateTime time;
    QString failureNote;   // empty when it succeeded
    QString statusWord;    // the status of the service's reply; empty when none was read
    QDateTime lastSuccess; // the newest cycle of this updater that went through; invalid: none
};

namespace CycleRecords {

// Records how the cycle that has just ended went, at the present time, with the newest
// success of this process: one that started again has none until its next. Returns what it
// wrote.
CycleRecord recordOutcome(const CycleOutcome& outcome);
void write(const CycleRecord& record);
std::optional<CycleRecord> read();
void remove();

} // namespace CycleRecords
