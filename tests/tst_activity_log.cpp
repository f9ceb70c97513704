#include "RecordingDisplay.h"
#include "StandardErrorCapture.h"
#include "log/ActivityLog.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace MyFunctions;

namespace {

const QRegularExpression stampedEntry(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) (.*)\r\n$)",
                                      QRegularExpression::DotMatchesEverythingOption);

// Lines of `count` characters each, CR LF included.
QString linesOf(int count, int lines) {
    return QString(count - 2, 'x').append("\r\n").repeated(lines);
}

// Every line of a log snapshot is whole: an empty line or a stamped "<writer> <number>",
// each writer's numbers rising.
void verifyWhole(const QString& snapshot) {
    static const QRegularExpression wholeLine(
        R"(^(|\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (main|worker) (\d+))$)");
    QVERIFY(snapshot.size() <= ActivityLog::maximumLength);
    QVERIFY(snapshot.isEmpty() || snapshot.endsWith("\r\n"));
    QHash<QString, int> lastInSnapshot;
    for (const QString& line : snapshot.split("\r\n").mid(0, snapshot.count("\r\n"))) {
        const auto match = wholeLine.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        if (match.captured(2).isEmpty())
            continue;
        QVERIFY(match.captured(3).toInt() > lastInSnapshot.value(match.captured(2), -1));
        lastInSnapshot[match.captured(2)] = match.captured(3).toInt();
    }
}

} // namespace

class ActivityLogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ActivityLog::create(); }
    void cleanup() { ActivityLog::setDisplay(nullptr); }

    // The log keeps the message behind a local time stamp; standard error gets the same
    // entry with control characters other than line breaks shown as \xNN. An empty copy
    // stands for a bare line end.
    void appendStampsTheMessageAndCopiesItToStandardError_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("copied");
        QTest::newRow("absent: a bare line end") << QString() << "";
        QTest::newRow("CR LF alone: a bare line end") << "\r\n"
                                                      << "";
        QTest::newRow("plain") << "Settings have been saved."
                               << "Settings have been saved.";
        QTest::newRow("ending in CR LF") << "two ends\r\n"
                                         << "two ends\r\n";
        QTest::newRow("line breaks stay") << "first\r\nsecond\nthird"
                                          << "first\r\nsecond\nthird";
        QTest::newRow("escape sequence") << "\x1b[2Jgone"
                                         << "\\x1b[2Jgone";
        QTest::newRow("C1 introducer") << QString(QChar(0x9b)) + "31m"
                                       << "\\x9b31m";
        QTest::newRow("lone CR, DEL, tab") << "a\rb\x7f\t"
                                           << "a\\x0db\\x7f\\x09";
    }
    void appendStampsTheMessageAndCopiesItToStandardError() {
        QFETCH(QString, message);
        QFETCH(QString, copied);
        StandardErrorCapture capture;
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-999);
        addToActivityLog(message);
        const QDateTime after = QDateTime::currentDateTime();
        const QString log = ActivityLog::text();
        if (copied.isEmpty()) {
            QCOMPARE(log, QString("\r\n"));
            QCOMPARE(capture.finish(), log);
            return;
        }
        const auto match = stampedEntry.match(log);
        QVERIFY(match.hasMatch());
        QCOMPARE(match.captured(2), message);
        const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyy-MM-dd HH:mm:ss");
        QVERIFY(stamp >= before && stamp <= after);
        QCOMPARE(capture.finish(), log.left(20) + copied + "\r\n");
    }

    // trimMutableString drops whole lines from the front, trimData from the end.
    void trimmingDropsWholeLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("front");
        QTest::addColumn<QString>("end");
        QTest::newRow("final CR LF is a line end") << "ab\r\ncd\r\n"
                                                   << 6 << "cd\r\n"
                                                   << "ab\r\ncd";
        QTest::newRow("several lines") << "abc\r\ndefghijkl\r\nxyz" << 10 << "xyz"
                                       << "abc";
        QTest::newRow("unended rest") << "ab\r\ncdef" << 3 << "cdef"
                                      << "ab";
        QTest::newRow("exactly the maximum")
            << linesOf(100, 30) << 3000 << linesOf(100, 30) << linesOf(100, 30);
        QTest::newRow("3500 to 3000")
            << linesOf(100, 35) << 3000 << linesOf(100, 30) << linesOf(100, 30).chopped(2);
        QTest::newRow("one line over the maximum")
            << linesOf(3001, 1) << 3000 << QString() << QString(2999, 'x');
        QTest::newRow("no CR LF, however long")
            << QString(5000, 'z') << 10 << QString(5000, 'z') << QString(5000, 'z');
        QTest::newRow("bare LF is no line end") << "a\nb\nc" << 2 << "a\nb\nc"
                                                << "a\nb\nc";
    }
    void trimmingDropsWholeLines() {
        QFETCH(QString, text);
        QFETCH(int, maximum);
        QFETCH(QString, front);
        QFETCH(QString, end);
        QCOMPARE(trimData(text, maximum), end);
        QCOMPARE(trimMutableString(text, maximum), front);
        QCOMPARE(text, front);
    }

    void logKeepsTheNewest3000Characters() {
        // Each entry is its message plus a 20-character stamp and CR LF.
        addToActivityLog(QString(1478, 'a'));
        addToActivityLog(QString(1478, 'b'));
        QCOMPARE(ActivityLog::text().size(), 3000);
        addToActivityLog();
        QCOMPARE(ActivityLog::text().size(), 1502);
        QVERIFY(ActivityLog::text().contains(QString(1478, 'b') + "\r\n\r\n"));
        addToActivityLog(QString(2979, 'x')); // longer than the log: empties it
        QCOMPARE(ActivityLog::text(), QString());
    }

    void refreshCopiesOnlyWhenTheLengthsDiffer() {
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        refreshActivityLog();
        QCOMPARE(display.logUpdates, 0);
        addToActivityLog("first");
        refreshActivityLog();
        QCOMPARE(display.shownLog, ActivityLog::text());
        display.shownLog.fill('?'); // same length, other contents: left alone
        refreshActivityLog();
        QCOMPARE(display.logUpdates, 1);
        addToActivityLog();
        refreshActivityLog();
        QCOMPARE(display.shownLog, ActivityLog::text());
    }

    void toolTipReachesOnlyTheAttachedDisplayOnItsThread() {
        {
            RecordingDisplay detached;
            ActivityLog::setDisplay(&detached);
            setToolTip("posted, never shown");
            ActivityLog::setDisplay(nullptr);
        } // destroyed with the call still queued
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        std::thread([] { setToolTip("Vorlin Dynamic DNS Online!\r\n"); }).join();
        QVERIFY(display.toolTips.isEmpty()); // not called on the worker thread
        QTRY_COMPARE(display.toolTips, QStringList{"Vorlin Dynamic DNS Online!\r\n"});
        QCOMPARE(display.toolTipThread, QThread::currentThread());
    }

    // A reader that never reads fills the pipe: appends go on, and the copy counts the lines
    // it could not take.
    void unreadStandardErrorNeverHoldsUpTheLog() {
        constexpr int appends = 2000;
        const QString message(100, 'x');
        StandardErrorCapture capture;
        std::atomic<bool> done = false;
        std::thread appender([&] {
            for (int i = 0; i < appends; ++i)
                addToActivityLog(message);
            done = true;
        });
        QElapsedTimer clock;
        clock.start();
        while (!done && clock.elapsed() < 5000)
            QThread::msleep(10);
        const bool finishedWithoutAReader = done;
        const QString copy = capture.finish(); // reads at last, which frees a blocked appender
        appender.join();
        QVERIFY(finishedWithoutAReader);

        static const QRegularExpression dropped(R"(^(\d+) lines dropped\r$)",
                                                QRegularExpression::MultilineOption);
        int droppedLines = 0;
        for (auto match = dropped.globalMatch(copy); match.hasNext();)
            droppedLines += match.next().captured(1).toInt();
        QVERIFY(droppedLines > 0);
        QCOMPARE(copy.count(message + "\r\n") + droppedLines, appends);
    }

    void appendsAndRefreshesFromTwoThreadsNeverTear() {
        constexpr int appendsPerWriter = 3000;
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        std::thread worker([] {
            for (int i = 0; i < appendsPerWriter; ++i) {
                addToActivityLog(QString("worker %1").arg(i));
                if (i % 7 == 0)
                    addToActivityLog();
            }
        });
        for (int i = 0; i < appendsPerWriter; ++i) {
            addToActivityLog(QString("main %1").arg(i));
            if (i % 5 == 0) {
                refreshActivityLog();
                verifyWhole(display.shownLog);
            }
        }
        worker.join();
        refreshActivityLog();
        verifyWhole(display.shownLog);
        verifyWhole(ActivityLog::text());
        const QString last = QString(" %1\r\n").arg(appendsPerWriter - 1);
        QVERIFY(ActivityLog::text().contains("main" + last) ||
                ActivityLog::text().contains("worker" + last));
    }
};

QTEST_GUILESS_MAIN(ActivityLogTest)
#include "tst_activity_log.moc"
