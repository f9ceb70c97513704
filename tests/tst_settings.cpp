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
        for (const QString& key :
             {SettingsKeys::username, SettingsKeys::password, SettingsKeys::location,
              SettingsKeys::updatedipv4, SettingsKeys::updatedipv6}) {
            QCOMPARE(getConfigurationString(key), QString(""));
            QVERIFY(!UserDefaults::objectForKey(key).isValid());
        }
        for (const QString& key : {SettingsKeys::saved, SettingsKeys::updateIPv4Address,
                                   SettingsKeys::updateIPv6Address})
            QCOMPARE(getConfigurationBoolean(key), false);
        QCOMPARE(getConfigurationInteger("never written"), 0);
    }

    void passwordRestsEnciphered_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("storedLength");
        QTest::newRow("4 characters") << QString("abc1") << 24;
        QTest::newRow("15 characters") << QString("abcdefghijklmn!") << 24;
        QTest::newRow("20 characters") << QString("abcdefghijklmnopqrs$") << 44;
        QTest::newRow("empty: a block of padding") << QString("") << 24;
    }
    void passwordRestsEnciphered() {
        QFETCH(QString, password);
        QFETCH(int, storedLength);
        setConfigurationString(SettingsKeys::password, password);
        const QString stored = UserDefaults::objectForKey(SettingsKeys::password).toString();
        QCOMPARE(stored.size(), storedLength);
        QVERIFY(!stored.contains(password) || password.isEmpty());
        QCOMPARE(getConfigurationString(SettingsKeys::password), password);
    }

    void passwordThatDoesNotDecipherReadsEmpty_data() {
        QTest::addColumn<QString>("storedDirectly");
        QTest::newRow("empty, as a rejected Save leaves it") << QString("");
        QTest::newRow("plain text") << QString("hunter22");
        QTest::newRow("Base64 of the wrong length") << QString("YWJj");
    }
    void passwordThatDoesNotDecipherReadsEmpty() {
        QFETCH(QString, storedDirectly);
        UserDefaults::setObject(SettingsKeys::password, storedDirectly);
        QCOMPARE(getConfigurationString(SettingsKeys::password), QString(""));
    }

    void onlyTheExactPasswordKeyIsEnciphered() {
        for (const QString key : {"Password", "PASSWORD", "password "}) {
            setConfigurationString(key, "plain-text");
            QCOMPARE(UserDefaults::objectForKey(key).toString(), QString("plain-text"));
            QCOMPARE(getConfigurationString(key), QString("plain-text"));
        }
    }

    void typedValuesRoundTrip() {
        setConfigurationBoolean(SettingsKeys::saved, true);
        QCOMPARE(getConfigurationBoolean(SettingsKeys::saved), true);
        QCOMPARE(UserDefaults::boolForKey(SettingsKeys::saved), true);
        UserDefaults::setBool(SettingsKeys::updateIPv6Address, false);
        QCOMPARE(getConfigurationBoolean(SettingsKeys::updateIPv6Address), false);

        setConfigurationInteger("count", -7);
        QCOMPARE(getConfigurationInteger("count"), -7);
        UserDefaults::setInteger("wide", (qint64(1) << 32) + 5);
        QCOMPARE(getConfigurationInteger("wide"), 5);
    }

    void synchronizeWritesTheSettingsFile() {
        setConfigurationString(SettingsKeys::username, "alice2024");
        UserDefaults::setBool(SettingsKeys::saved, true);
        QVERIFY(UserDefaults::synchronize());

        QFile file(store_->filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        QVERIFY(contents.contains("username=alice2024"));
        QVERIFY(contents.contains("saved=true"));
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
