#include "DataRow.h"
#include "RecordingDisplay.h"
#include "StandardErrorCapture.h"
#include "log/ActivityLog.h"

#include <QtTest>
#include <atomic>
#include <ctime>
#include <latch>
#include <thread>

using namespace MyFunctions;

namespace {

// A log snapshot of whole lines only, each stamped "<writer> <number>".
void verifyWhole(const QString& snapshot) {
    static const QRegularExpression wholeLines(
        R"(\A(?:\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (?:main|worker) \d+\r\n)*\z)");
    QVERIFY(snapshot.size() <= ActivityLog::maximumLength);
    QVERIFY2(wholeLines.match(snapshot).hasMatch(), qPrintable(snapshot));
}

} // namespace

class ActivityLogTest : public QObject {
    Q_OBJECT

private slots:
    // Stamps are checked on an afternoon clock, where a 12-hour "hh" would give itself away,
    // and never on UTC's own, where a stamp taken in UTC would pass.
    void initTestCase() {
        const int utcHour = QDateTime::currentDateTimeUtc().time().hour();
        const int hoursAheadOfUtc = ((utcHour == 15 ? 16 : 15) - utcHour + 24) % 24;
        qputenv("TZ", "AFT-" + QByteArray::number(hoursAheadOfUtc));
        tzset();
    }
    void init() { ActivityLog::create(); }
    void cleanup() { ActivityLog::setDisplay(nullptr); }

    // A local time stamp, and standard error's copy with control characters escaped (an empty
    // copy: a bare line end).
    void appendStampsTheMessageAndCopiesItToStandardError_data() {
        columns<QString, QString>();
        row("absent: a bare line end", QString(), QString());
        row("CR LF alone: a bare line end", QString("\r\n"), QString());
        row("controls: line breaks inside, C1, DEL, tab", QString("a\r\nb\nc\x7f\t") + QChar(0x9b),
            QString("a\\x0d\\x0ab\\x0ac\\x7f\\x09\\x9b"));
        row("formats and separators: bidi, isolate, line, paragraph, beyond the BMP",
            QString::fromUtf16(u"\u202ea\u2066\u2028\u2029\U000e0001"),
            QString("\\u202ea\\u2066\\u2028\\u2029\\U000e0001"));
    }
    void appendStampsTheMessageAndCopiesItToStandardError() {
        const auto [message, copied] = fetch<QString, QString>();
        StandardErrorCapture capture;
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-999);
        addToActivityLog(message);
        const QDateTime after = QDateTime::currentDateTime();
        const QString log = ActivityLog::text();
        const QString stamp = copied.isEmpty() ? QString() : log.left(20);
        QCOMPARE(log, stamp + (copied.isEmpty() ? QString() : message) + "\r\n");
        QCOMPARE(capture.finish(), stamp + copied + "\r\n");
        const QDateTime stampTime = QDateTime::fromString(stamp, "yyyy-MM-dd HH:mm:ss ");
        QVERIFY(stamp.isEmpty() || (stampTime >= before && stampTime <= after));
    }

    // Whole lines go from the front; a bare LF ends no line.
    void logKeepsTheNewest3000Characters() {
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        // Each entry is its message plus a 20-character stamp and CR LF; a bare LF ends no line.
        addToActivityLog(QString(1477, 'a') + '\n');
        addToActivityLog("b\n" + QString(1476, 'b'));
        QCOMPARE(ActivityLog::text().size(), 3000);
        refreshActivityLog();
        addToActivityLog(QString(1478, 'c')); // pushes out an entry as long as itself
        refreshActivityLog();
        QCOMPARE(display.shownLog, ActivityLog::text()); // a full log still shows its newest
        addToActivityLog();
        QCOMPARE(ActivityLog::text().size(), 1502); // the older entry went
        addToActivityLog(QString(2979, 'x'));       // longer than the log: empties it
        QCOMPARE(ActivityLog::text(), QString());
    }

    void toolTipReachesTheDisplayOnItsThread() {
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        std::thread([] { setToolTip("Vorlin Dynamic DNS Online!\r\n"); }).join();
        QVERIFY(display.toolTips.isEmpty()); // not called on the worker thread
        QTRY_COMPARE(display.toolTips, QStringList{"Vorlin Dynamic DNS Online!\r\n"});
        QCOMPARE(display.toolTipThread, QThread::currentThread());
    }

    // A reader that never reads: appends go on, and the copy counts the lines it dropped.
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
        const bool finishedWithoutAReader = QTest::qWaitFor([&] { return done.load(); }, 5000);
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
        std::latch together(2); // the worker's start must not let it finish alone
        std::thread worker([&] {
            together.arrive_and_wait();
            for (int i = 0; i < appendsPerWriter; ++i)
                addToActivityLog(QString("worker %1").arg(i));
        });
        together.arrive_and_wait();
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
        QVERIFY(ActivityLog::text().contains(QString(" %1\r\n").arg(appendsPerWriter - 1)));
    }
};

QTEST_GUILESS_MAIN(ActivityLogTest)
#include "tst_activity_log.moc"
