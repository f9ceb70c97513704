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

} // namespace

class ActivityLogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ActivityLog::create(); }
    void cleanup() { ActivityLog::setDisplay(nullptr); }

    void emptyMessagesAppendABareLineEnd_data() {
        QTest::addColumn<QString>("message");
        QTest::newRow("absent") << QString();
        QTest::newRow("empty") << QString("");
        QTest::newRow("CR LF alone") << QString("\r\n");
    }
    void emptyMessagesAppendABareLineEnd() {
        QFETCH(QString, message);
        addToActivityLog(message);
        addToActivityLog(message);
        QCOMPARE(ActivityLog::text(), QString("\r\n\r\n"));
    }

    void messagesGetALocalTimeStamp_data() {
        QTest::addColumn<QString>("message");
        QTest::newRow("ordinary") << QString("IP address update initiated.");
        QTest::newRow("a single space") << QString(" ");
        QTest::newRow("ending in CR LF") << QString("two ends\r\n");
        QTest::newRow("line break inside") << QString("first\r\nsecond");
        QTest::newRow("bare LF") << QString("\n");
    }
    void messagesGetALocalTimeStamp() {
        QFETCH(QString, message);
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-999);
        addToActivityLog(message);
        const QDateTime after = QDateTime::currentDateTime();

        const auto match = stampedEntry.match(ActivityLog::text());
        QVERIFY(match.hasMatch());
        QCOMPARE(match.captured(2), message);
        const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyy-MM-dd HH:mm:ss");
        QVERIFY(stamp >= before && stamp <= after);
    }

    void trimMutableStringDropsLinesFromTheFront_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two short lines, maximum 4") << QString("ab\r\ncd\r\n") << 4 << "cd\r\n";
        QTest::newRow("exactly 3000") << linesOf(100, 30) << 3000 << linesOf(100, 30);
        QTest::newRow("3001: the oldest line goes")
            << QString("y\r\n") + linesOf(100, 30) << 3000 << linesOf(100, 30);
        QTest::newRow("several lines go") << linesOf(100, 35) << 3000 << linesOf(100, 30);
        QTest::newRow("no CR LF, however long") << QString(5000, 'z') << 3000 << QString(5000, 'z');
        QTest::newRow("bare LF is no line end") << QString("a\nb\nc") << 2 << "a\nb\nc";
        QTest::newRow("one long line goes whole") << linesOf(3001, 1) << 3000 << QString();
        QTest::newRow("unended rest stays") << QString("ab\r\ncdef") << 3 << "cdef";
    }
    void trimMutableStringDropsLinesFromTheFront() {
        QFETCH(QString, text);
        QFETCH(int, maximum);
        QFETCH(QString, expected);
        QString& result = trimMutableString(text, maximum);
        QCOMPARE(&result, &text);
        QCOMPARE(text, expected);
    }

    void trimDataDropsLinesFromTheEnd_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("expected");
        QTest::newRow("abc defghijkl xyz, maximum 10")
            << QString("abc\r\ndefghijkl\r\nxyz") << 10 << "abc";
        QTest::newRow("final CR LF goes first") << QString("ab\r\ncd\r\n") << 6 << "ab\r\ncd";
        QTest::newRow("short enough") << QString("ab\r\ncd") << 6 << "ab\r\ncd";
        QTest::newRow("no CR LF, however long") << QString(5000, 'z') << 10 << QString(5000, 'z');
    }
    void trimDataDropsLinesFromTheEnd() {
        QFETCH(QString, text);
        QFETCH(int, maximum);
        QFETCH(QString, expected);
        const QString original = text;
        QCOMPARE(trimData(text, maximum), expected);
        QCOMPARE(text, original);
    }

    void logKeepsTheNewest3000Characters() {
        // Each entry is its message plus a 20-character stamp and CR LF.
        addToActivityLog(QString(1478, 'a'));
        addToActivityLog(QString(1478, 'b'));
        QCOMPARE(ActivityLog::text().size(), 3000);

        addToActivityLog();
        const QString text = ActivityLog::text();
        QCOMPARE(text.size(), 1502);
        QVERIFY(stampedEntry.match(text.left(1500)).hasMatch());
        QVERIFY(text.contains(QString(1478, 'b')) && !text.contains('a'));
    }

    void entryLongerThanTheLogEmptiesIt() {
        addToActivityLog("earlier");
        addToActivityLog(QString(2979, 'x'));
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
        QCOMPARE(display.logUpdates, 1);

        display.shownLog.fill('?'); // same length, other contents: left alone
        refreshActivityLog();
        QCOMPARE(display.logUpdates, 1);

        addToActivityLog();
        refreshActivityLog();
        QCOMPARE(display.shownLog, ActivityLog::text());
        QCOMPARE(display.logUpdates, 2);
    }

    void toolTipReachesTheDisplayOnItsOwnThread() {
        RecordingDisplay display;
        ActivityLog::setDisplay(&display);
        std::thread worker([] { setToolTip("Vorlin Dynamic DNS Online!\r\n"); });
        worker.join();
        QVERIFY(display.toolTips.isEmpty()); // not called on the worker thread
        QTRY_COMPARE(display.toolTips, QStringList{"Vorlin Dynamic DNS Online!\r\n"});
        QCOMPARE(display.toolTipThread, QThread::currentThread());
    }

    void toolTipForADetachedDisplayIsDropped() {
        RecordingDisplay later;
        {
            RecordingDisplay first;
            ActivityLog::setDisplay(&first);
            setToolTip("posted, never shown");
            ActivityLog::setDisplay(nullptr);
        } // destroyed with the call still queued
        ActivityLog::setDisplay(&later);
        setToolTip("for the later display");
        QTRY_COMPARE(later.toolTips, QStringList{"for the later display"});
    }

    void everyAppendIsCopiedToStandardErrorWithoutControlCharacters_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("copied");
        QTest::newRow("plain") << "Settings have been saved."
                               << "Settings have been saved.";
        QTest::newRow("line breaks stay") << "first\r\nsecond\nthird"
                                          << "first\r\nsecond\nthird";
        QTest::newRow("escape sequence") << "\x1b[2Jgone"
                                         << "\\x1b[2Jgone";
        QTest::newRow("C1 introducer") << QString(QChar(0x9b)) + "31m"
                                       << "\\x9b31m";
        QTest::newRow("lone CR, DEL, tab") << "a\rb\x7f\t"
                                           << "a\\x0db\\x7f\\x09";
    }
    void everyAppendIsCopiedToStandardErrorWithoutControlCharacters() {
        QFETCH(QString, message);
        QFETCH(QString, copied);
        StandardErrorCapture capture;
        addToActivityLog(message);
        addToActivityLog();
        const QString log = ActivityLog::text();
        QCOMPARE(log.mid(20), message + "\r\n\r\n"); // the log itself keeps the message
        QCOMPARE(capture.finish(), log.left(20) + copied + "\r\n\r\n");
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
};

QTEST_GUILESS_MAIN(ActivityLogTest)
#include "tst_activity_log.moc"
