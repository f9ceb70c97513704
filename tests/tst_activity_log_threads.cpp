#include "RecordingDisplay.h"
#include "log/ActivityLog.h"

#include <QRegularExpression>
#include <QtTest>
#include <thread>

using namespace MyFunctions;

namespace {

// Every line of a log snapshot is whole: an empty line or a stamped "<writer> <number>".
const QRegularExpression wholeLine(R"(^(|\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (main|worker) (\d+))$)");

void verifyWhole(const QString& snapshot) {
    QVERIFY(snapshot.size() <= ActivityLog::maximumLength);
    QVERIFY(snapshot.isEmpty() || snapshot.endsWith("\r\n"));
    QStringList lines = snapshot.split("\r\n");
    lines.removeLast();
    QHash<QString, int> lastInSnapshot;
    for (const QString& line : lines) {
        const auto match = wholeLine.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        if (match.captured(2).isEmpty())
            continue;
        const int number = match.captured(3).toInt();
        QVERIFY(number > lastInSnapshot.value(match.captured(2), -1)); // each writer in order
        lastInSnapshot[match.captured(2)] = number;
    }
}

} // namespace

class ActivityLogThreadsTest : public QObject {
    Q_OBJECT

private slots:
    void appendsAndRefreshesFromTwoThreadsNeverTear() {
        constexpr int appendsPerWriter = 3000;
        ActivityLog::create();
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);

        const auto writeAll = [](const char* writer) {
            for (int i = 0; i < appendsPerWriter; ++i) {
                addToActivityLog(QString("%1 %2").arg(writer).arg(i));
                if (i % 7 == 0)
                    addToActivityLog();
            }
        };
        std::thread worker(writeAll, "worker");

        int refreshes = 0;
        for (int i = 0; i < appendsPerWriter; ++i) {
            addToActivityLog(QString("main %1").arg(i));
            if (i % 5 == 0) {
                refreshActivityLog();
                verifyWhole(display.shownLog);
                ++refreshes;
            }
        }
        worker.join();
        refreshActivityLog();

        verifyWhole(display.shownLog);
        const QString text = ActivityLog::text();
        verifyWhole(text);
        const QString last = QString(" %1\r\n").arg(appendsPerWriter - 1);
        QVERIFY(text.contains("main" + last) || text.contains("worker" + last));
        QVERIFY(refreshes > 0);
        ActivityLog::setDisplay(nullptr);
    }
};

QTEST_GUILESS_MAIN(ActivityLogThreadsTest)
#include "tst_activity_log_threads.moc"
