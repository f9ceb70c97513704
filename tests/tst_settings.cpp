#include "TemporarySettingsStore.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>
#include <unistd.h>

using namespace MyFunctions;

class SettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettingsStore> store_;

private slots:
    void init() { store_ = std::make_unique<TemporarySettingsStore>(); }
    void cleanup() { store_.reset(); }

    void absentKeysReadAsEmptyFalseOrZero() {
        for (const QString& key : {SettingsKeys::username, SettingsKeys::password})
            QCOMPARE(getConfigurationString(key), QString(""));
        QCOMPARE(getConfigurationBoolean(SettingsKeys::saved), false);
        QCOMPARE(getConfigurationInteger("never written"), 0);
    }

    // Only the exact "password" key rests enciphered; every string reads back as written.
    void stringsReadBackAsWritten_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("enciphered");
        QTest::newRow("password") << SettingsKeys::password << true;
        QTest::newRow("username") << SettingsKeys::username << false;
        QTest::newRow("Password") << "Password" << false;
        QTest::newRow("password and a blank") << "password " << false;
    }
    void stringsReadBackAsWritten() {
        QFETCH(QString, key);
        QFETCH(bool, enciphered);
        setConfigurationString(key, "s3cret!Pw");
        const QString stored = UserDefaults::objectForKey(key).toString();
        QCOMPARE(!stored.contains("s3cret!Pw"), enciphered);
        QCOMPARE(getConfigurationString(key), QString("s3cret!Pw"));
    }

    void passwordThatDoesNotDecipherReadsEmpty() {
        UserDefaults::setObject(SettingsKeys::password, "hunter22");
        QCOMPARE(getConfigurationString(SettingsKeys::password), QString(""));
    }

    void typedValuesRoundTripAndReachTheFile() {
        setConfigurationBoolean(SettingsKeys::saved, true);
        QCOMPARE(UserDefaults::boolForKey(SettingsKeys::saved), true);
        setConfigurationInteger("count", -7);
        QCOMPARE(getConfigurationInteger("count"), -7);
        UserDefaults::setInteger("wide", (qint64(1) << 32) + 5);
        QCOMPARE(getConfigurationInteger("wide"), 5);
        setConfigurationString(SettingsKeys::username, "alice2024");
        QVERIFY(UserDefaults::synchronize());

        QFile file(store_->filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        QVERIFY(contents.contains("username=alice2024") && contents.contains("saved=true"));
    }

    // However the store cannot be written, a refused write leaves nothing in the process
    // that the disk does not hold.
    void refusedWriteLeavesWhatTheDiskHolds_data() {
        QTest::addColumn<QString>("shape");
        QTest::newRow("no folder can be made") << "blocked folder";
        QTest::newRow("a folder where the file should be") << "folder at file";
        QTest::newRow("read-only file") << "read-only file";
    }
    void refusedWriteLeavesWhatTheDiskHolds() {
        QFETCH(QString, shape);
        QVariant earlier; // what the disk holds under the key
        if (shape == "blocked folder") {
            store_->makeUnwritable();
        } else if (shape == "folder at file") {
            QVERIFY(QDir().mkpath(store_->filePath()));
        } else {
            if (::geteuid() == 0)
                QSKIP("root writes read-only files: the unprivileged CTest entry runs this");
            UserDefaults::setObject(SettingsKeys::username, "olduser1");
            earlier = "olduser1";
            QVERIFY(QFile::setPermissions(store_->filePath(), QFile::ReadOwner));
        }

        UserDefaults::setObject(SettingsKeys::username, "alice2024");
        QCOMPARE(UserDefaults::objectForKey(SettingsKeys::username), earlier);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
