#include "RecordingDisplay.h"
#include "log/ActivityLog.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>
#include <thread>
#include <unistd.h>

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

    void everyAppendIsCopiedToStandardError() {
        QTemporaryFile capture;
        QVERIFY(capture.open());
        std::fflush(stderr);
        const int savedStandardError = dup(STDERR_FILENO);
        dup2(capture.handle(), STDERR_FILENO);
        addToActivityLog("Settings have been saved.");
        addToActivityLog();
        std::fflush(stderr);
        dup2(savedStandardError, STDERR_FILENO);
        close(savedStandardError);

        capture.seek(0);
        QCOMPARE(QString::fromUtf8(capture.readAll()), ActivityLog::text());
    }
};

QTEST_GUILESS_MAIN(ActivityLogTest)
#include "tst_activity_log.moc"
