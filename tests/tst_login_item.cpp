#include "app/platform/linux/XdgAutostartItem.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class LoginItemTest : public QObject {
    Q_OBJECT

    QTemporaryDir configHome_;

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", configHome_.path().toUtf8()); }

    void autostartEntryIsWrittenValidAndRemoved_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("installed") << "/usr/bin/vorlin-ipupdate";
        QTest::newRow("space and apostrophe") << "/home/o'neil/my apps/vorlin-ipupdate";
        QTest::newRow("quote, dollar, backquote, backslash") << "/opt/a\"b$c`d\\e/vorlin-ipupdate";
    }
    void autostartEntryIsWrittenValidAndRemoved() {
        QFETCH(QString, program);
        XdgAutostartItem item(program);
        QCOMPARE(item.entryPath(),
                 configHome_.filePath("autostart/com.vorlin.IPUpdateClient.desktop"));
        QVERIFY(!item.isEnabled());

        QVERIFY(item.setEnabled(true));
        QVERIFY(item.isEnabled());
        QProcess validate;
        validate.start("desktop-file-validate", {item.entryPath()});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(validate.exitCode(), 0);
        QCOMPARE(validate.readAll(), QByteArray());

        QVERIFY(item.setEnabled(false));
        QVERIFY(!item.isEnabled());
        QVERIFY(!QFile::exists(item.entryPath()));
        QVERIFY(item.setEnabled(false)); // nothing left to remove
    }

    void entryStartsTheProgramAfterADelay() {
        XdgAutostartItem item("/usr/bin/vorlin-ipupdate");
        QVERIFY(item.setEnabled(true));
        QFile entry(item.entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.contains("\nExec=sh -c \"sleep 5; exec '/usr/bin/vorlin-ipupdate'\"\n"));
        QVERIFY(text.contains("\nIcon=com.vorlin.IPUpdateClient\n"));
        item.setEnabled(false);
    }
};

QTEST_GUILESS_MAIN(LoginItemTest)
#include "tst_login_item.moc"
