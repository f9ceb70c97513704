#pragma once

#include "log/ActivityLog.h"
#include "settings/Settings.h"
#include "update/ClientUpdate.h"
#include "update/IPUpdateThread.h"

#include <QStringList>
#include <functional>

// Runs real update cycles with the real stage, without waiting between them, and keeps what
// each cycle left: its block of log entries (stamps cut off) and the remembered addresses.
class CycleDriver {
public:
    struct CycleResult {
        QStringList block;
        QString rememberedIPv4;
        QString rememberedIPv6;
    };

    // betweenCycles, when given, runs after each cycle with the number of cycles done.
    static QList<CycleResult> run(int cycles, const std::function<void(int)>& betweenCycles = {}) {
        QList<CycleResult> results;
        qsizetype entriesBefore = 0;
        int steps = 0;
        IPUpdateThread worker(requestClientUpdate, [&] {
            if (steps++ % IPUpdateThread::secondsBetweenCycles == 0) {
                const QStringList all = entries(ActivityLog::text());
                results.append({all.mid(entriesBefore),
                                MyFunctions::getConfigurationString(SettingsKeys::updatedipv4),
                                MyFunctions::getConfigurationString(SettingsKeys::updatedipv6)});
                entriesBefore = all.size();
                if (betweenCycles)
                    betweenCycles(static_cast<int>(results.size()));
            }
            if (steps == cycles * IPUpdateThread::secondsBetweenCycles)
                worker.setQuit(true);
        });
        worker.process();
        return results;
    }

    // The log's lines, each without its 20-character time stamp; an empty line stays empty.
    static QStringList entries(const QString& log) {
        QStringList lines = log.split("\r\n");
        lines.removeLast();
        for (QString& line : lines)
            line = line.mid(20);
        return lines;
    }
};
