#include "DataRow.h"
#include "Files.h"
#include "TemporarySettingsStore.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"

#include <QtTest>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace MyFunctions;

static struct stat statusOf(const QString& path) {
    struct stat status {};
    ::stat(qPrintable(path), &status);
    return status;
}

class SettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettingsStore> store_;

private slots:
    void init() { store_ = std::make_unique<TemporarySettingsStore>(); }
    void cleanup() { store_.reset(); }

    // A boolean written into the file by hand is true only when it says so.
    void handWrittenBooleans_data() {
        columns<QByteArray, bool>();
        for (const char* yes : {"true", "TRUE", "yes", "Yes", "1", "-2"})
            QTest::addRow("%s", yes) << QByteArray(yes) << true;
        for (const char* no : {"false", "no", "off", "on", "0", "y"})
            QTest::addRow("%s", no) << QByteArray(no) << false;
    }
    void handWrittenBooleans() {
        const auto [text, value] = fetch<QByteArray, bool>();
        writeFile(store_->filePath(), "[General]\nsaved=" + text + "\n");
        QCOMPARE(UserDefaults::boolForKey(SettingsKeys::saved), value);
    }

    // A refused write leaves nothing in the process that the disk does not hold; a file that
    // does not parse is no refusal.
    void writeLeavesWhatTheDiskHolds_data() {
        columns<QString>();
        row("no folder can be made", QString("blocked folder"));
        row("a folder where the file should be", QString("folder at file"));
        row("read-only file", QString("read-only file"));
        row("a file that does not parse", QString("unparsable"));
    }
    void writeLeavesWhatTheDiskHolds() {
        const auto [shape] = fetch<QString>();
        QVariant earlier; // what the disk holds under the key
        if (shape == "blocked folder") {
            store_->makeUnwritable();
        } else if (shape == "folder at file") {
            QVERIFY(QDir().mkpath(store_->filePath()));
        } else if (shape == "unparsable") {
            writeFile(store_->filePath(), "[General\n");
            earlier = "alice2024";
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

    // Only the owner reaches the file, whatever the umask; a loose one is tightened at start.
    void onlyTheOwnerReachesTheStore() {
        const QString file = store_->filePath(), dir = QFileInfo(file).path();
        const auto modes = [&] { return std::pair(statusOf(dir).st_mode, statusOf(file).st_mode); };
        const mode_t umask = ::umask(0);
        UserDefaults::setObject(SettingsKeys::username, "alice2024");
        ::umask(umask);
        QCOMPARE(modes(), std::pair(S_IFDIR | 0700u, S_IFREG | 0600u));
        QVERIFY(::chmod(qPrintable(dir), 0777) == 0 && ::chmod(qPrintable(file), 0666) == 0);
        UserDefaults::makeStorePrivate();
        QCOMPARE(modes(), std::pair(S_IFDIR | 0700u, S_IFREG | 0600u));
    }

    // Only a value that the disk does not hold yet costs a write (a new inode).
    void onlyAChangeReachesTheDisk_data() {
        columns<QByteArray, QString, bool>(); // the address on disk, the one written, rewritten
        row("the same address again", QByteArray("203.0.113.7"), QString("203.0.113.7"), false);
        row("changed on disk meanwhile", QByteArray("198.51.100.23"), QString("203.0.113.7"), true);
    }
    void onlyAChangeReachesTheDisk() {
        const auto [onDisk, address, rewritten] = fetch<QByteArray, QString, bool>();
        UserDefaults::setObject(SettingsKeys::updatedipv4, "203.0.113.7");
        // Edited in place; another size shows QSettings a change.
        writeFile(store_->filePath(), "[General]\nupdatedipv4=" + onDisk + "\n");
        const ino_t before = statusOf(store_->filePath()).st_ino;
        UserDefaults::setObject(SettingsKeys::updatedipv4, address);
        QCOMPARE(statusOf(store_->filePath()).st_ino != before, rewritten);
        QCOMPARE(QSettings(store_->filePath(), QSettings::IniFormat).value("updatedipv4"), address);
    }

    // Nothing but the store's own file decides: not a file of the same name beside its folder,
    // which another user may place, nor what stands there instead.
    void onlyItsOwnFileDecides_data() {
        columns<QString>();
        for (const char* planted : {"account beside", "folder", "pipe"})
            row(planted, QString(planted));
    }
    void onlyItsOwnFileDecides() {
        const auto [planted] = fetch<QString>();
        const QString beside = QFileInfo(store_->filePath()).path() + ".conf";
        const QByteArray account = "[General]\nsaved=true\nusername=mallory1\n";
        if (planted == "account beside")
            writeFile(beside, account);
        else
            QVERIFY(planted == "folder" ? QDir().mkpath(beside)
                                        : ::mkfifo(qPrintable(beside), 0600) == 0);
        QVERIFY(!UserDefaults::boolForKey(SettingsKeys::saved));
        UserDefaults::setObject(SettingsKeys::username, "alice2024");
        QCOMPARE(TemporarySettingsStore::state()[SettingsKeys::username], "alice2024");
    }

    // A check tells of its own thread's writes: another thread's refused write does not count.
    void writeCheckCountsItsOwnThread() {
        const UserDefaults::WriteCheck check;
        store_->makeUnwritable();
        std::thread([] { UserDefaults::setBool(SettingsKeys::saved, true); }).join();
        QVERIFY(check.allStored());
    }

    // The XDG rules ignore a relative $XDG_CONFIG_HOME: it names another folder in every
    // working folder.
    void relativeConfigurationHomeIgnored() {
        qputenv("XDG_CONFIG_HOME", "relcfg");
        const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });
        UserDefaults::useStoreIn({});
        QCOMPARE(UserDefaults::storeFile(),
                 QDir::homePath() + "/.config/Vorlin/IPUpdateClient.conf");
    }

    // A write judged on the file waits while another process writes it: a reply's addresses
    // are not stored under an account that another process stored meanwhile.
    void writersInOtherProcessesTakeTurns() {
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home");
        QProcess other; // takes the lock, then stores another account in place
        other.start("flock", {UserDefaults::storeLockFile(), "sh", "-c",
                              "echo locked; sleep 1; sed -i s/=alice2024/=carol333/ \"$0\"",
                              store_->filePath()});
        QVERIFY(other.waitForReadyRead(5000));
        UserDefaults::setValuesIf({{SettingsKeys::updatedipv4, "203.0.113.7"}},
                                  {{SettingsKeys::username, "alice2024"}});
        QVERIFY(other.waitForFinished(5000) && other.exitCode() == 0);
        const auto state = TemporarySettingsStore::state();
        QCOMPARE(state[SettingsKeys::username] + ' ' + state[SettingsKeys::updatedipv4],
                 "carol333 -");
    }

    // The password rests enciphered (values made by `openssl enc -aes-256-ecb -base64 -A`); a
    // stored text that does not decipher reads as empty.
    void passwordRestsEnciphered_data() {
        columns<QString, QString>(); // stored, the password ("" where it does not decipher)
        row("ASCII password", QString("Kwo52O5D4K70f2eQncHvbg=="), QString("Secret-Pa55!"));
        row("non-ASCII, three blocks",
            QString("eD7fB5r3OxBnscFgWPneOhXQoH5ekjcal/3sS32t0OiC3bu2KyHB4K4uhyet5aXG"),
            QString("Grüße, 世界 ✓ 0123456789abcdef"));
        row("leading U+FEFF, part of the password", QString("P9VTo5BUbr575AjLjJcwXQ=="),
            QStringLiteral("\uFEFFpass"));
        row("padding stripped", QString("Kwo52O5D4K70f2eQncHvbg"), QString());
        row("foreign characters before a valid value", QString("-_.:Kwo52O5D4K70f2eQncHvbg=="),
            QString());
        row("deciphers to bytes that end inside a UTF-8 character",
            QString("+MbTPwsqaxdCYXO/2YEs+g=="), QString());
    }
    void passwordRestsEnciphered() {
        const auto [stored, plain] = fetch<QString, QString>();
        if (plain.isEmpty()) {
            UserDefaults::setObject(SettingsKeys::password, stored);
        } else {
            setConfigurationString(SettingsKeys::password, plain);
            QCOMPARE(UserDefaults::stringForKey(SettingsKeys::password), stored);
        }
        QCOMPARE(getConfigurationString(SettingsKeys::password), plain);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
