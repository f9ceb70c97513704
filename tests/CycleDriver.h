#pragma once

#include "SteppedWait.h"
#include "log/ActivityLog.h"
#include "update/ClientUpdate.h"
#include "update/IPUpdateThread.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// Runs the worker on a clock of its own, `eachSecond` after each second, for `seconds`.
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
    // A wait that lets no time pass (a fault) would loop without end: three real seconds stop it.
    std::atomic<bool> done = false;
    std::thread watchdog([&] {
        for (int steps = 0; steps < 300 && !done; ++steps)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        worker.setQuit(true);
    });
    worker.process();
    done = true;
    watchdog.join();
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

// Runs real cycles; each cycle's log entries. betweenCycles runs after each, with the count.
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
