#include "LocalProvider.h"
#include "TemporarySettingsStore.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"
#include "settings/PasswordCipher.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/ClientUpdate.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QtTest>
#include <memory>
#include <thread>

using namespace SettingsKeys;
using StoredState = QMap<QString, QString>;

namespace {

const QStringList allKeys = {saved,       username,          password,
                             location,    updateIPv4Address, updateIPv6Address,
                             updatedipv4, updatedipv6};

// Every key as text; "-" for an absent one, "enciphered:<text>" for a password that
// deciphers, so a plain "" and an enciphered "" are told apart.
StoredState storedState() {
    StoredState state;
    for (const QString& key : allKeys) {
        const QVariant value = UserDefaults::objectForKey(key);
        QString text = value.isValid() ? value.toString() : "-";
        if (key == password && value.isValid())
            if (const auto plain = MyFunctions::decryptString(text))
                text = "enciphered:" + *plain;
        state[key] = text;
    }
    return state;
}

void storeEarlierSave() {
    UserDefaults::setBool(saved, true);
    UserDefaults::setObject(username, "olduser1");
    MyFunctions::setConfigurationString(password, "OldPass1");
    UserDefaults::setObject(location, "oldgroup");
    UserDefaults::setBool(updateIPv4Address, false);
    UserDefaults::setBool(updateIPv6Address, false);
    MyFunctions::setConfigurationString(updatedipv4, "198.51.100.1");
    MyFunctions::setConfigurationString(updatedipv6, "2001:db8::1");
}

QStringList logEntries() {
    QStringList lines = ActivityLog::text().split("\r\n");
    lines.removeLast();
    for (QString& line : lines)
        line = line.mid(20);
    return lines;
}

} // namespace

// Captures the addresses the program hands to the desktop's browser.
class BrowserStandIn : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

class AppDelegateTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;
    std::unique_ptr<TemporarySettingsStore> store_;
    std::shared_ptr<IPUpdateThread> worker_;
    std::thread workerThread_;
    QTemporaryDir configHome_;

    // The worker runs for real only where a test asks for it.
    std::unique_ptr<AppDelegate> launch(bool runWorker = false) {
        auto delegate = std::make_unique<AppDelegate>([this, runWorker](auto worker) {
            worker_ = worker;
            if (runWorker)
                workerThread_ = std::thread([worker] { worker->process(); });
        });
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    static void fill(AppDelegate& delegate, const QString& name, const QString& secret,
                     const QString& group) {
        delegate.window()->textBoxUsername->setText(name);
        delegate.window()->textBoxPassword->setText(secret);
        delegate.window()->textBoxLocation->setText(group);
        delegate.window()->checkBoxUpdateIPv4Address->setChecked(true);
        delegate.window()->checkBoxUpdateIPv6Address->setChecked(false);
    }

    static QAction* menuEntry(AppDelegate& delegate, const QString& text) {
        for (QAction* action : delegate.trayIconMenu()->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    static StandInProvider::ScriptedReply slowAcceptance(int milliseconds) {
        StandInProvider::ScriptedReply slow =
            LocalProvider::reply(200, StandInProvider::profileReplyBody(R"({"result":true})"));
        slow.delayMilliseconds = milliseconds;
        return slow;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", configHome_.path().toUtf8()); // for the autostart entry
        provider_ = std::make_unique<LocalProvider>();
        provider_->addAccount({"alice2024", "s3cret!Pw", {"home"}});
    }
    void init() {
        provider_->reset();
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        KeepSnoozing = 1;
    }
    void cleanup() {
        if (workerThread_.joinable()) {
            worker_->setQuit(true);
            KeepSnoozing = 0;
            workerThread_.join();
        }
        worker_.reset();
        store_.reset();
    }
    void cleanupTestCase() { provider_.reset(); }

    void firstRunEmptiesTheFieldsAndPrompts() {
        const auto delegate = launch();
        PreferencesWindow& window = *delegate->window();
        QCOMPARE(window.textBoxUsername->text(), QString());
        QCOMPARE(window.textBoxPassword->text(), QString());
        QCOMPARE(window.textBoxLocation->text(), QString());
        QVERIFY(window.checkBoxUpdateIPv4Address->isChecked());
        QVERIFY(window.checkBoxUpdateIPv6Address->isChecked());
        QVERIFY(window.isVisible());
        QCOMPARE(logEntries(), QStringList{"Please enter your username and password."});
        QVERIFY(worker_);
        QVERIFY(!QFile::exists(store_->filePath()));
        QVERIFY(!delegate->statusItem()->icon().pixmap(22).isNull()); // the SVG icon renders
        QCOMPARE(delegate->statusItem()->icon().cacheKey(),
                 delegate->statusIcon(AppDelegate::StatusLook::NotSetUp).cacheKey());
    }

    void savedSettingsFillTheWindow_data() {
        QTest::addColumn<bool>("ipv6KeyPresent");
        QTest::addColumn<QString>("storedPassword"); // written directly
        QTest::addColumn<QString>("shownPassword");
        QTest::newRow("all keys") << true << *MyFunctions::encryptString("s3cret!Pw")
                                  << "s3cret!Pw";
        QTest::newRow("IPv6 key missing")
            << false << *MyFunctions::encryptString("s3cret!Pw") << "s3cret!Pw";
        QTest::newRow("password emptied by a failed Save") << true << ""
                                                           << "";
    }
    void savedSettingsFillTheWindow() {
        QFETCH(bool, ipv6KeyPresent);
        QFETCH(QString, storedPassword);
        QFETCH(QString, shownPassword);
        UserDefaults::setBool(saved, true);
        UserDefaults::setObject(username, "alice2024");
        UserDefaults::setObject(password, storedPassword);
        UserDefaults::setBool(updateIPv4Address, true);
        if (ipv6KeyPresent)
            UserDefaults::setBool(updateIPv6Address, true);
        const StoredState before = storedState();

        const auto delegate = launch();
        PreferencesWindow& window = *delegate->window();
        QCOMPARE(window.textBoxUsername->text(), QString("alice2024"));
        QCOMPARE(window.textBoxPassword->text(), shownPassword);
        QCOMPARE(window.textBoxLocation->text(), QString()); // no location key at all
        QVERIFY(window.checkBoxUpdateIPv4Address->isChecked());
        QCOMPARE(window.checkBoxUpdateIPv6Address->isChecked(), ipv6KeyPresent);
        QCOMPARE(window.textBoxPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(ActivityLog::text(), QString());
        QCOMPARE(storedState(), before);
    }

    void saveOutcomes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("profileStatus"); // 0: the stand-in answers for its accounts
        QTest::addColumn<QByteArray>("profileReply");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<StoredState>("changed"); // keys that differ from the earlier Save
        QTest::addColumn<bool>("requestSent");
        const StoredState boxes = {{updateIPv4Address, "true"}, {updateIPv6Address, "false"}};
        const auto with = [&](StoredState more) {
            more.insert(boxes);
            return more;
        };
        const auto refusal = [](const char* json) {
            return StandInProvider::profileReplyBody(json);
        };

        QTest::newRow("user name invalid")
            << "abc"
            << "s3cret!Pw"
            << "home" << 0 << QByteArray()
            << QStringList{"Please enter a valid username. [4-20 characters (0-9, a-z, A-Z)]"}
            << with({{username, ""}}) << false;
        QTest::newRow("user name and password invalid: only the first is told")
            << "abc"
            << "abc"
            << "home" << 0 << QByteArray()
            << QStringList{"Please enter a valid username. [4-20 characters (0-9, a-z, A-Z)]"}
            << with({{username, ""}}) << false;
        QTest::newRow("password invalid")
            << "alice2024"
            << "sec ret"
            << "home" << 0 << QByteArray()
            << QStringList{"Please enter a valid password. [4-20 characters "
                           "(0-9a-zA-Z`~!@#$%^&*(){}[]-_=+|\\;:'\"<>,.?/)]"}
            << with({{password, ""}}) << false;
        QTest::newRow("group invalid")
            << "alice2024"
            << "s3cret!Pw"
            << "home#1" << 0 << QByteArray()
            << QStringList{"home#1 is an invalid group! Please enter a valid group. "
                           "[1-50 characters (0-9, a-z, A-Z)]"}
            << with({{location, ""}}) << false;
        QTest::newRow("no answer, group empty")
            << "alice2024"
            << "s3cret!Pw"
            << "" << 500 << QByteArray() << QStringList{"Unable to authenticate!"}
            << with({{location, ""}}) << true;
        QTest::newRow("no answer, group given")
            << "alice2024"
            << "s3cret!Pw"
            << "home" << 500 << QByteArray() << QStringList{"Unable to authenticate!"} << boxes
            << true;
        QTest::newRow("refused with a message")
            << "alice2024"
            << "wrong-pw"
            << "home" << 0 << QByteArray() << QStringList{"Invalid username or password."} << boxes
            << true;
        QTest::newRow("refused without a message")
            << "alice2024"
            << "s3cret!Pw"
            << "home" << 200 << refusal(R"({"result":false})")
            << QStringList{"Authentication failed!"} << boxes << true;
        QTest::newRow("refused with an empty message")
            << "alice2024"
            << "s3cret!Pw"
            << "" << 200 << refusal(R"({"result":false,"message":""})")
            << QStringList{"Authentication failed!"} << with({{location, ""}}) << true;
        QTest::newRow("saved") << "alice2024"
                               << "s3cret!Pw"
                               << "home" << 0 << QByteArray()
                               << QStringList{"Settings have been saved.", ""}
                               << with({{username, "alice2024"},
                                        {password, "enciphered:s3cret!Pw"},
                                        {location, "home"},
                                        {updatedipv4, ""},
                                        {updatedipv6, ""}})
                               << true;
        QTest::newRow("saved without group")
            << "alice2024"
            << "s3cret!Pw"
            << "" << 0 << QByteArray() << QStringList{"Settings have been saved.", ""}
            << with({{username, "alice2024"},
                     {password, "enciphered:s3cret!Pw"},
                     {location, ""},
                     {updatedipv4, ""},
                     {updatedipv6, ""}})
            << true;
    }
    void saveOutcomes() {
        QFETCH(QString, name);
        QFETCH(QString, secret);
        QFETCH(QString, group);
        QFETCH(int, profileStatus);
        QFETCH(QByteArray, profileReply);
        QFETCH(QStringList, logged);
        QFETCH(StoredState, changed);
        QFETCH(bool, requestSent);
        storeEarlierSave();
        if (profileStatus != 0)
            provider_->scriptReply("/nic/getclientprofilewithgroup",
                                   LocalProvider::reply(profileStatus, profileReply));
        const auto delegate = launch();
        fill(*delegate, name, secret, group);
        StoredState expected = storedState();
        expected.insert(changed);

        delegate->buttonSaveClick();
        QCOMPARE(logEntries(), logged);
        QCOMPARE(storedState(), expected);
        QCOMPARE(provider_->requestLines().size(), requestSent ? 1 : 0);
        const bool success = logged.first() == "Settings have been saved.";
        QCOMPARE(int(KeepSnoozing.load()), success ? 0 : 1);
        // The group field is emptied only for an invalid group.
        QCOMPARE(delegate->window()->textBoxLocation->text(),
                 logged.first().contains("invalid group") ? QString() : group);
    }

    void successfulSaveWakesTheWorkerForAFirstUpdate() {
        const auto delegate = launch(true);
        QTest::qWait(1200); // the worker is waiting: nothing was saved yet
        fill(*delegate, "alice2024", "s3cret!Pw", "home");
        QElapsedTimer clock;
        clock.start();
        delegate->buttonSaveClick();
        QTRY_COMPARE_WITH_TIMEOUT(provider_->requestLines().filter("/nic/clientupdate?").size(), 1,
                                  3000);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(provider_->requestLines()
                    .filter("/nic/clientupdate?")
                    .first()
                    .endsWith("&uin=1 HTTP/1.1"));
    }

    // Timers and signals go on during the wait; commands that come as such do not run.
    void noCommandRunsWhileSaveVerifies() {
        provider_->scriptReply("/nic/getclientprofilewithgroup", slowAcceptance(600));
        BrowserStandIn browser;
        QDesktopServices::setUrlHandler("https", &browser, "open");
        const auto delegate = launch();
        fill(*delegate, "alice2024", "s3cret!Pw", "home");
        bool saveEnabledDuringWait = true;
        QTimer::singleShot(200, delegate.get(), [&] {
            saveEnabledDuringWait = delegate->window()->buttonSave->isEnabled();
            delegate->buttonSaveClick();
            menuEntry(*delegate, "Documentation")->trigger(); // as a tray menu over D-Bus
        });
        delegate->buttonSaveClick();
        QDesktopServices::unsetUrlHandler("https");
        QVERIFY(!saveEnabledDuringWait);
        QCOMPARE(provider_->requestLines().size(), 1);
        QCOMPARE(logEntries().count("Settings have been saved."), 1);
        QVERIFY(browser.opened.isEmpty());
        QVERIFY(delegate->window()->buttonSave->isEnabled());
        QVERIFY(menuEntry(*delegate, "Documentation")->isEnabled());
    }

    // Save tells whether its own writes reached the disk, whatever other writes did.
    void saveReportsWhetherItsOwnWritesWereStored_data() {
        QTest::addColumn<bool>("unwritableAtFirst");
        QTest::addColumn<bool>("otherWriteRefusedMeanwhile"); // during the verification
        QTest::addColumn<bool>("writableAfterwards");
        QTest::addColumn<bool>("stored");
        QTest::newRow("unwritable throughout") << true << false << false << false;
        QTest::newRow("another thread's write refused meanwhile") << false << true << true << true;
        QTest::newRow("Save's first writes refused, its last ones stored")
            << true << false << true << false;
    }
    void saveReportsWhetherItsOwnWritesWereStored() {
        QFETCH(bool, unwritableAtFirst);
        QFETCH(bool, otherWriteRefusedMeanwhile);
        QFETCH(bool, writableAfterwards);
        QFETCH(bool, stored);
        provider_->scriptReply("/nic/getclientprofilewithgroup", slowAcceptance(600));
        const auto delegate = launch();
        fill(*delegate, "alice2024", "s3cret!Pw", "");
        if (unwritableAtFirst)
            store_->makeUnwritable();
        QTimer::singleShot(200, delegate.get(), [&] {
            if (otherWriteRefusedMeanwhile) {
                store_->makeUnwritable();
                std::thread([] {
                    MyFunctions::setConfigurationString(updatedipv4, "198.51.100.7");
                }).join();
            }
            if (writableAfterwards)
                store_->makeWritable();
        });

        delegate->buttonSaveClick();
        const QStringList outcome =
            stored ? QStringList{"Settings have been saved.", ""}
                   : QStringList{"The settings could not be stored. Please check that the "
                                 "settings file can be written."};
        QCOMPARE(logEntries().mid(1), outcome);
        QCOMPARE(int(KeepSnoozing.load()), stored ? 0 : 1);
    }

    void corruptSettingsFileReadsAsAFirstRun() {
        QDir().mkpath(QFileInfo(store_->filePath()).path());
        QFile file(store_->filePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xff\xfe[\x01garbage\nsaved\n=\n[General\nusername=\"unterminated\n");
        file.close();
        const auto delegate = launch();
        QCOMPARE(logEntries(), QStringList{"Please enter your username and password."});
    }

    void closeKeepsTheFieldsAndPreferencesBringsTheWindowBack() {
        const auto delegate = launch();
        fill(*delegate, "alice2024", "typed", "home");
        delegate->window()->close(); // no tray offscreen: the window's own close
        QVERIFY(!delegate->window()->isVisible());
        delegate->menuPreferencesClick();
        QVERIFY(delegate->window()->isVisible());
        QCOMPARE(delegate->window()->textBoxPassword->text(), QString("typed"));
    }

    void preferencesRestoresAMinimizedWindow_data() {
        QTest::addColumn<Qt::WindowStates>("restored");
        QTest::newRow("normal") << Qt::WindowStates();
        QTest::newRow("maximized") << Qt::WindowStates(Qt::WindowMaximized);
    }
    void preferencesRestoresAMinimizedWindow() {
        QFETCH(Qt::WindowStates, restored);
        const auto delegate = launch(); // a first run shows the window
        PreferencesWindow& window = *delegate->window();
        window.setWindowState(restored | Qt::WindowMinimized);
        QWidget other; // holds the focus meanwhile
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        delegate->menuPreferencesClick();
        QCOMPARE(window.windowState() & ~Qt::WindowActive, restored);
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    void linksOpenTheProviderPages_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("path");
        QTest::newRow("purchase") << "Purchase a Domain Name"
                                  << "/ControlPanel/AddDomainRegistration";
        QTest::newRow("add host") << "Add a DDNS Hostname"
                                  << "/ControlPanel/AddDDNS";
        QTest::newRow("control panel") << "Open Control Panel"
                                       << "/ControlPanel";
        QTest::newRow("groups") << "Manage Groups"
                                << "/ControlPanel/DDNSGroup";
        QTest::newRow("support") << "Contact Support"
                                 << "/ControlPanel/SupportTicket";
        QTest::newRow("documentation") << "Documentation"
                                       << "/DynamicDNS/IPUpdateClient/MACOSX";
    }
    void linksOpenTheProviderPages() {
        QFETCH(QString, entry);
        QFETCH(QString, path);
        BrowserStandIn browser;
        QDesktopServices::setUrlHandler("https", &browser, "open");
        const auto delegate = launch();
        menuEntry(*delegate, entry)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(browser.opened,
                 QList<QUrl>{QUrl("https://" + provider_->endpoints().webHost + path)});
        QCOMPARE(logEntries(), QStringList{"Please enter your username and password."});
    }

    void startAtLoginEntryWritesAndRemovesTheAutostartEntry() {
        const auto delegate = launch();
        QAction* entry = menuEntry(*delegate, "Start at login");
        QVERIFY(entry && entry->isCheckable() && !entry->isChecked());
        const QString autostart =
            configHome_.filePath("autostart/com.vorlin.IPUpdateClient.desktop");

        entry->trigger();
        QVERIFY(entry->isChecked());
        QVERIFY(QFile::exists(autostart));
        entry->trigger();
        QVERIFY(!entry->isChecked());
        QVERIFY(!QFile::exists(autostart));
    }
};

QTEST_MAIN(AppDelegateTest)
#include "tst_app_delegate.moc"
