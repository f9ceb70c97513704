#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"
#include "account/AccountPassword.h"
#include "app/AppDelegate.h"
#include "app/KeychainKeyring.h"
#include "app/PreferencesWindow.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>
#include <csignal>

using namespace SettingsKeys;

// The password in the desktop's keyring: GNOME Keyring's Secret Service on the test's own
// bus, reached through the desktop program's keyring, as a login session has it.
class KeyringTest : public QObject {
    Q_OBJECT

    LocalProvider provider_;
    std::shared_ptr<KeychainKeyring> keyring_ = std::make_shared<KeychainKeyring>();

    static std::unique_ptr<AppDelegate> launch() {
        auto delegate = std::make_unique<AppDelegate>([](auto) {});
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    // Whether the window's Save said it saved.
    static bool saves(AppDelegate& delegate, const QString& name, bool inKeyring) {
        PreferencesWindow& window = *delegate.window();
        window.textBoxUsername->setText(name);
        window.textBoxPassword->setText("s3cret!Pw");
        window.checkBoxPasswordInKeyring->setChecked(inKeyring);
        ActivityLog::create(); // the Save's lines alone
        window.buttonSave->click();
        return logEntries().contains("Settings have been saved.");
    }

    // The keyring's entry for the user name in these settings, or where an earlier version put it.
    std::optional<QString> entry(const QString& name, bool earlierVersions = false) {
        std::optional<PasswordKeyring::Read> read;
        keyring_->readPassword(earlierVersions ? name : keyringKeyOf(name),
                               [&](const PasswordKeyring::Read& answer) { read = answer; });
        if (!QTest::qWaitFor([&] { return read.has_value(); }))
            return QString("<no answer>");
        return read->password;
    }

private slots:
    void initTestCase() {
        provider_.addAccount({"alice2024", "s3cret!Pw", {}});
        provider_.addAccount({"bob2024", "s3cret!Pw", {}});
        PasswordKeyrings::install(keyring_);
    }

    // Save moves the password between the file and the keyring; a start takes it from there, or
    // from where an earlier version kept it (under the user name alone, which stays). Settings
    // folders with the same user name keep an entry each.
    void savePutsThePasswordWhereChosen() {
        TemporarySettingsStore store;
        QVERIFY(!keyring_->writePassword("alice2024", "0ld!Pass"));
        TemporarySettingsStore::saveAccount("alice2024", "", "");
        UserDefaults::setBool(passwordInKeyring, true);
        auto delegate = launch();
        QTRY_COMPARE(delegate->window()->textBoxPassword->text(), "0ld!Pass");
        QTRY_VERIFY(delegate->window()->checkBoxPasswordInKeyring->isEnabled());
        QVERIFY(delegate->window()->checkBoxPasswordInKeyring->toolTip().startsWith("Keeps the"));
        QVERIFY(
            saves(*delegate, "alice2024", false) && // into the file: the earlier entry stays
            !logEntries().filter("earlier version of this program kept for alice2024").isEmpty());
        QVERIFY(saves(*delegate, "alice2024", true));
        QVERIFY(saves(*delegate, "alice2024", true)); // again: the entry stays
        QCOMPARE(UserDefaults::objectForKey(password), QVariant(""));
        QCOMPARE(entry("alice2024"), "s3cret!Pw");
        {
            const TemporarySettingsStore other;
            QVERIFY(saves(*launch(), "alice2024", true) && saves(*launch(), "alice2024", false));
        }
        store.makeWritable();
        QCOMPARE(entry("alice2024"), "s3cret!Pw");

        // A new start reads the keyring, not the file. Late, as while its unlock prompt waits,
        // updates start without it, in one worker, and go through once it answers.
        const auto keyringProcess = static_cast<pid_t>(
            QDBusConnection::sessionBus().interface()->servicePid("org.freedesktop.secrets"));
        QVERIFY(keyringProcess > 0 && ::kill(keyringProcess, SIGSTOP) == 0);
        const auto resume = [=] { ::kill(keyringProcess, SIGCONT); };
        const auto resumeOnFailure = qScopeGuard(resume);
        PasswordKeyrings::hold(std::nullopt); // as a new process starts, holding none
        int workers = 0;
        delegate =
            std::make_unique<AppDelegate>([&](auto) { ++workers; }, std::chrono::milliseconds(200));
        delegate->applicationDidFinishLaunching();
        QTRY_COMPARE(workers, 1);
        resume();
        QTRY_COMPARE(delegate->window()->textBoxPassword->text(), "s3cret!Pw");
        QVERIFY(delegate->window()->checkBoxPasswordInKeyring->isChecked());
        QVERIFY(runCycles(1).value(0).contains("[good] IP address updated.") && workers == 1);
        QVERIFY(saves(*delegate, "bob2024", true)); // another account
        QCOMPARE(entry("alice2024"), std::nullopt);
        QCOMPARE(entry("bob2024"), "s3cret!Pw");
        QVERIFY(runCycles(1).value(0).contains("[good] IP address updated."));
        QVERIFY(saves(*delegate, "bob2024", false)); // back to the file
        QCOMPARE(entry("bob2024"), std::nullopt);
        QCOMPARE(TemporarySettingsStore::state()[password], "enciphered:s3cret!Pw");
        QCOMPARE(UserDefaults::objectForKey(passwordInKeyring), QVariant());
        store.makeUnwritable(); // the file refuses the Save: its new entry goes again
        QVERIFY(!saves(*delegate, "alice2024", true));
        QCOMPARE(entry("alice2024"), std::nullopt);
        QCOMPARE(entry("alice2024", true), "0ld!Pass");
    }

    // A keyring that stays locked (its prompt cannot be shown here) is asked once at start; the
    // cycles then fail without a request, a Save into it stores nothing of the account, and a
    // Save out of it says that the entry may remain.
    void lockedKeyringFailsTheCycles() {
        const TemporarySettingsStore store;
        QVERIFY(saves(*launch(), "alice2024", true));
        // Through the bus: a forked dbus-send would not do under ThreadSanitizer.
        const QDBusMessage locked = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                           "org.freedesktop.Secret.Service", "Lock")
            << QVariant::fromValue(QList<QDBusObjectPath>{
                   QDBusObjectPath("/org/freedesktop/secrets/collection/login")}));
        QCOMPARE(locked.type(), QDBusMessage::ReplyMessage);

        const QString failure = "The password could not be taken from the keyring: it gave none "
                                "for alice2024 (it is locked, or holds none). Updates fail until "
                                "the settings are saved or the program starts again.";
        const auto delegate = launch();
        QTRY_VERIFY(logEntries().count(failure) == 1);
        provider_.reset();
        runCycles(2);
        QCOMPARE(provider_.requestLines().filter("/nic/clientupdate").size(), 0);
        QVERIFY(logEntries().count(failure) == 1);
        QTRY_VERIFY(
            delegate->statusItem()->toolTip().contains(": the keyring did not give the password"));

        const auto before = TemporarySettingsStore::state();
        QVERIFY(!saves(*delegate, "bob2024", true));
        QVERIFY(logEntries().contains("The password could not be stored in the keyring: Cannot "
                                      "create an item in a locked collection"));
        QCOMPARE(TemporarySettingsStore::state(), before);
        QVERIFY(saves(*delegate, "alice2024", false)); // to the file; the locked entry stays
        QVERIFY(logEntries().contains("The keyring gave no entry for alice2024 to remove (it "
                                      "holds none, or it stayed locked)."));
    }
};

QTEST_MAIN(KeyringTest)
#include "tst_keyring.moc"
