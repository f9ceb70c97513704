#pragma once

#include "SteppedWait.h"
#include "log/ActivityLog.h"
#include "update/ClientUpdate.h"
#include "update/IPUpdateThread.h"

#include <QStringList>
#include <functional>

// Runs the update worker on a clock of its own: each step of its waits is a second, after
// which `eachSecond` gets the seconds gone by. The worker stops after `seconds`.
inline void runWorker(const UpdateStage& stage, int seconds,
                      const std::function<void(int)>& eachSecond = {},
                      std::shared_ptr<EarlyCycleTrigger> earlyCycles = nullptr,
                      std::shared_ptr<SteppedWait> wait = std::make_shared<SteppedWait>()) {
    IPUpdateThread worker(stage, wait, std::move(earlyCycles));
    wait->step = [&](int second) {
        if (eachSecond)
            eachSecond(second);
        if (second == seconds) {
            worker.setQuit(true);
            KeepSnoozing = 0; // for a wait that is not over yet
        }
    };
    worker.process();
    wait->step = nullptr;
    KeepSnoozing = 1;
}

// The log's lines, each without its 20-character time stamp; an empty line stays empty.
inline QStringList logEntries(const QString& log = ActivityLog::text()) {
    QStringList lines = log.split("\r\n");
    lines.removeLast();
    for (QString& line : lines)
        line = line.mid(20);
    return lines;
}

// Runs real update cycles with the real stage and returns each cycle's block of log
// entries. betweenCycles, when given, runs after each cycle with the number of cycles done.
inline QList<QStringList> runCycles(int cycles,
                                    const std::function<void(int)>& betweenCycles = {}) {
    QList<QStringList> blocks;
    qsizetype entriesBefore = 0;
    runWorker(requestClientUpdate, cycles * IPUpdateThread::secondsBetweenCycles, [&](int second) {
        if (second % IPUpdateThread::secondsBetweenCycles != 1)
            return;
        const QStringList all = logEntries();
        blocks.append(all.mid(entriesBefore));
        entriesBefore = all.size();
        if (betweenCycles)
            betweenCycles(static_cast<int>(blocks.size()));
    });
    return blocks;
}
