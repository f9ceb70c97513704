#include "CycleDriver.h"
#include "LocalProvider.h"
#include "TemporarySettingsStore.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"
#include "app/platform/linux/XdgAutostartItem.h"
#include "settings/PasswordCipher.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QtTest>
#include <chrono>
#include <memory>
#include <thread>

using namespace SettingsKeys;
using namespace std::chrono;
using StoredState = QMap<QString, QString>;
using Look = AppDelegate::StatusLook;

namespace {

const QString prompt = "Please enter your username and password.";
const QStringList savedLines = {"Settings have been saved.", ""};
const QByteArray goodReply =
    R"({"statusCode":"good","updatedIPv4Address":"203.0.113.7","updatedIPv6Address":"2001:db8::7"})";
const QString acceptedToolTip =
    "Vorlin Dynamic DNS Online!\r\n\r\nIPv4 Address -> 203.0.113.7\r\nIPv6 Address -> 2001:db8::7";

// Every key as text; "-" for an absent one, "enciphered:<text>" for a password that
// deciphers, so a plain "" and an enciphered "" are told apart.
StoredState storedState() {
    StoredState state;
    for (const QString& key : {saved, username, password, location, updateIPv4Address,
                               updateIPv6Address, updatedipv4, updatedipv6}) {
        const QVariant value = UserDefaults::objectForKey(key);
        state[key] = value.isValid() ? value.toString() : "-";
        if (key == password && value.isValid())
            if (const auto plain = MyFunctions::decryptString(state[key]))
                state[key] = "enciphered:" + *plain;
    }
    return state;
}

QStringList logEntries() {
    return CycleDriver::entries(ActivityLog::text());
}

QByteArray statusReply(const QByteArray& status) {
    return R"({"statusCode":")" + status + R"("})";
}

// Runs the worker for 200 steps of its wait on clocks of its own, applying the script's
// events ("<second>:<event>") as each second ends; returns the seconds at which cycles began.
QList<int> cycleStarts(const QString& script) {
    milliseconds awake{0}, sinceBoot{0};
    auto trigger = std::make_shared<EarlyCycleTrigger>(
        EarlyCycleTrigger::Clocks{[&] { return awake; }, [&] { return sinceBoot; }});
    int second = 0;
    QList<int> starts;
    IPUpdateThread worker([&](const UpdateCycleInputs&) { starts << second; },
                          [&] {
                              awake += 1s;
                              sinceBoot += 1s;
                              ++second;
                              for (const QString& event : script.split(' ', Qt::SkipEmptyParts)) {
                                  const QString what = event.section(':', 1);
                                  if (event.section(':', 0, 0).toInt() != second)
                                      continue;
                                  if (what == "offline" || what == "online")
                                      trigger->reachabilityChanged(what == "online");
                                  else if (what == "suspend")
                                      sinceBoot += 1h;
                                  else if (what == "lag") // a slow step, no sleep
                                      sinceBoot += 3s;
                                  else if (what == "save")
                                      KeepSnoozing = 0;
                              }
                              if (second == 200) {
                                  worker.setQuit(true);
                                  KeepSnoozing = 0;
                              }
                          },
                          trigger);
    worker.process();
    return starts;
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
    QTemporaryDir configHome_;
    BrowserStandIn browser_;

    static std::unique_ptr<AppDelegate> launch() {
        auto delegate = std::make_unique<AppDelegate>([](auto) {});
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

    static Look shownLook(const AppDelegate& delegate) {
        for (const Look look : {Look::NotSetUp, Look::Working, Look::Attention})
            if (delegate.statusIcon(look).cacheKey() == delegate.statusItem()->icon().cacheKey())
                return look;
        return Look(-1);
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", configHome_.path().toUtf8()); // for the autostart entry
        QDesktopServices::setUrlHandler("https", &browser_, "open");
        provider_ = std::make_unique<LocalProvider>();
        provider_->addAccount({"alice2024", "s3cret!Pw", {"home"}});
    }
    void init() {
        provider_->reset();
        browser_.opened.clear();
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        KeepSnoozing = 1;
    }
    void cleanup() { store_.reset(); }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("https");
        provider_.reset();
    }

    // Launch fills the window from the store and writes nothing.
    void launchShowsWhatWasSaved_data() {
        QTest::addColumn<QByteArray>("file"); // written as the settings file; empty: none
        QTest::addColumn<bool>("ipv6KeyPresent");
        QTest::addColumn<QString>("storedPassword"); // as it stands; null: nothing saved
        QTest::addColumn<QString>("shownPassword");
        const QString enciphered = *MyFunctions::encryptString("s3cret!Pw");
        QTest::newRow("first run") << QByteArray() << false << QString() << QString();
        QTest::newRow("corrupt file")
            << QByteArray("\xff\xfe[\x01garbage\nsaved\n=\n[General\nusername=\"unterminated\n")
            << false << QString() << QString();
        QTest::newRow("all keys") << QByteArray() << true << enciphered << "s3cret!Pw";
        QTest::newRow("IPv6 key missing") << QByteArray() << false << enciphered << "s3cret!Pw";
        QTest::newRow("password emptied by a failed Save")
            << QByteArray() << true << QString("") << "";
    }
    void launchShowsWhatWasSaved() {
        QFETCH(QByteArray, file);
        QFETCH(bool, ipv6KeyPresent);
        QFETCH(QString, storedPassword);
        QFETCH(QString, shownPassword);
        const bool wasSaved = !storedPassword.isNull();
        if (!file.isEmpty()) {
            QDir().mkpath(QFileInfo(store_->filePath()).path());
            QFile settingsFile(store_->filePath());
            QVERIFY(settingsFile.open(QIODevice::WriteOnly) && settingsFile.write(file) > 0);
        } else if (wasSaved) {
            UserDefaults::setBool(saved, true);
            UserDefaults::setObject(username, "alice2024");
            UserDefaults::setObject(password, storedPassword);
            UserDefaults::setBool(updateIPv4Address, true);
            if (ipv6KeyPresent)
                UserDefaults::setBool(updateIPv6Address, true);
        }
        const StoredState before = storedState();

        const auto delegate = launch();
        const PreferencesWindow& window = *delegate->window();
        QCOMPARE(window.textBoxUsername->text(), wasSaved ? "alice2024" : "");
        QCOMPARE(window.textBoxPassword->text(), shownPassword);
        QCOMPARE(window.textBoxPassword->echoMode(), QLineEdit::Password);
        QVERIFY(window.checkBoxUpdateIPv4Address->isChecked());
        QCOMPARE(window.checkBoxUpdateIPv6Address->isChecked(), ipv6KeyPresent || !wasSaved);
        QCOMPARE(logEntries(), wasSaved ? QStringList() : QStringList{prompt});
        QCOMPARE(storedState(), before);
        QCOMPARE(QFile::exists(store_->filePath()), wasSaved || !file.isEmpty());
        QVERIFY(!delegate->statusItem()->icon().pixmap(22).isNull()); // the SVG renders
        QCOMPARE(shownLook(*delegate), wasSaved ? Look::Working : Look::NotSetUp);
    }

    // After an earlier Save of other settings; the boxes are stored whatever the outcome.
    void saveOutcomes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("profileStatus"); // 0: the stand-in answers for its accounts
        QTest::addColumn<QByteArray>("profileReply");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<StoredState>("changed"); // besides the IPv4 box
        QTest::addColumn<bool>("requestSent");
        const auto row = [](const char* tag, const char* name, const char* secret,
                            const char* group, int status, const char* json,
                            const QStringList& logged, const StoredState& changed, bool sent) {
            QTest::newRow(tag) << name << secret << group << status
                               << (json ? StandInProvider::profileReplyBody(json) : QByteArray())
                               << logged << changed << sent;
        };
        const QString badName = "Please enter a valid username. [4-20 characters (0-9, a-z, A-Z)]";
        const QString badPassword = "Please enter a valid password. [4-20 characters "
                                    "(0-9a-zA-Z`~!@#$%^&*(){}[]-_=+|\\;:'\"<>,.?/)]";
        const QString badGroup = "home#1 is an invalid group! Please enter a valid group. "
                                 "[1-50 characters (0-9, a-z, A-Z)]";
        const char* pw = "s3cret!Pw";
        const QString failed = "Authentication failed!";
        row("name and password invalid", "abc", "abc", "home", 0, nullptr, {badName},
            {{username, ""}}, false);
        row("password invalid", "alice2024", "sec ret", "home", 0, nullptr, {badPassword},
            {{password, ""}}, false);
        row("group invalid", "alice2024", pw, "home#1", 0, nullptr, {badGroup}, {{location, ""}},
            false);
        row("no answer", "alice2024", pw, "home", 500, nullptr, {"Unable to authenticate!"}, {},
            true);
        row("refused with a message", "alice2024", "wrong-pw", "home", 0, nullptr,
            {"Invalid username or password."}, {}, true);
        row("refused without a message", "alice2024", pw, "home", 200, R"({"result":false})",
            {failed}, {}, true);
        row("refused with an empty message, no group", "alice2024", pw, "", 200,
            R"({"result":false,"message":""})", {failed}, {{location, ""}}, true);
        row("saved", "alice2024", pw, "home", 0, nullptr, savedLines,
            {{username, "alice2024"},
             {password, "enciphered:s3cret!Pw"},
             {location, "home"},
             {updatedipv4, ""},
             {updatedipv6, ""}},
            true);
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
        TemporarySettingsStore::saveAccount("olduser1", "OldPass1", "oldgroup", false, false);
        MyFunctions::setConfigurationString(updatedipv4, "198.51.100.1");
        MyFunctions::setConfigurationString(updatedipv6, "2001:db8::1");
        if (profileStatus != 0)
            provider_->scriptReply("/nic/getclientprofilewithgroup",
                                   LocalProvider::reply(profileStatus, profileReply));
        const auto delegate = launch();
        fill(*delegate, name, secret, group);
        StoredState expected = storedState();
        expected.insert(changed);
        expected.insert(updateIPv4Address, "true");

        delegate->buttonSaveClick();
        QCOMPARE(logEntries(), logged);
        QCOMPARE(storedState(), expected);
        QCOMPARE(provider_->requestLines().size(), requestSent ? 1 : 0);
        QCOMPARE(int(KeepSnoozing.load()), logged == savedLines ? 0 : 1);
        // The group field is emptied only for an invalid group.
        QCOMPARE(delegate->window()->textBoxLocation->text(),
                 logged.first().contains("invalid group") ? QString() : group);
    }

    // The profile check answers late. Commands that come meanwhile as events do not run, and
    // Save's verdict on storing covers its own writes only.
    void saveDuringItsVerification_data() {
        QTest::addColumn<bool>("unwritableAtFirst");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("stored");
        QTest::newRow("another Save and a menu command") << false << "commands" << true;
        QTest::newRow("unwritable throughout") << true << "" << false;
        QTest::newRow("another thread's write refused") << false << "refused write" << true;
        QTest::newRow("Save's first writes refused, its last stored")
            << true << "writable" << false;
    }
    void saveDuringItsVerification() {
        QFETCH(bool, unwritableAtFirst);
        QFETCH(QString, meanwhile);
        QFETCH(bool, stored);
        StandInProvider::ScriptedReply slow =
            LocalProvider::reply(200, StandInProvider::profileReplyBody(R"({"result":true})"));
        slow.delayMilliseconds = 600;
        provider_->scriptReply("/nic/getclientprofilewithgroup", slow);
        const auto delegate = launch();
        fill(*delegate, "alice2024", "s3cret!Pw", "");
        if (unwritableAtFirst)
            store_->makeUnwritable();
        bool saveEnabledMeanwhile = true;
        QTimer::singleShot(200, delegate.get(), [&] {
            saveEnabledMeanwhile = delegate->window()->buttonSave->isEnabled();
            if (meanwhile == "commands") {
                delegate->buttonSaveClick();
                menuEntry(*delegate, "Documentation")->trigger(); // as a tray menu over D-Bus
            }
            if (meanwhile == "refused write") {
                store_->makeUnwritable();
                std::thread([] {
                    MyFunctions::setConfigurationString(updatedipv4, "198.51.100.7");
                }).join();
            }
            if (meanwhile == "refused write" || meanwhile == "writable")
                store_->makeWritable();
        });

        delegate->buttonSaveClick();
        QVERIFY(!saveEnabledMeanwhile);
        QCOMPARE(logEntries(),
                 QStringList{prompt} +
                     (stored ? savedLines
                             : QStringList{"The settings could not be stored. Please check that "
                                           "the settings file can be written."}));
        QCOMPARE(int(KeepSnoozing.load()), stored ? 0 : 1);
        QCOMPARE(provider_->requestLines().size(), 1);
        QVERIFY(browser_.opened.isEmpty());
        QVERIFY(delegate->window()->buttonSave->isEnabled());
        QVERIFY(menuEntry(*delegate, "Documentation")->isEnabled());
    }

    void preferencesBringsTheWindowBack_data() {
        QTest::addColumn<bool>("closed"); // else minimized
        QTest::addColumn<Qt::WindowStates>("restored");
        QTest::newRow("closed") << true << Qt::WindowStates();
        QTest::newRow("minimized") << false << Qt::WindowStates();
        QTest::newRow("minimized from maximized") << false << Qt::WindowStates(Qt::WindowMaximized);
    }
    void preferencesBringsTheWindowBack() {
        QFETCH(bool, closed);
        QFETCH(Qt::WindowStates, restored);
        const auto delegate = launch(); // a first run shows the window
        PreferencesWindow& window = *delegate->window();
        window.textBoxPassword->setText("typed");
        if (closed)
            window.close(); // no tray offscreen: the window's own close
        else
            window.setWindowState(restored | Qt::WindowMinimized);
        QWidget other; // holds the focus meanwhile
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        delegate->menuPreferencesClick();
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowState() & ~Qt::WindowActive, restored);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.textBoxPassword->text(), "typed");
    }

    void menuEntriesOpenTheProviderPages_data() {
        QTest::addColumn<QString>("path"); // the row's name is the entry's
        QTest::newRow("Purchase a Domain Name") << "/ControlPanel/AddDomainRegistration";
        QTest::newRow("Add a DDNS Hostname") << "/ControlPanel/AddDDNS";
        QTest::newRow("Open Control Panel") << "/ControlPanel";
        QTest::newRow("Manage Groups") << "/ControlPanel/DDNSGroup";
        QTest::newRow("Contact Support") << "/ControlPanel/SupportTicket";
        QTest::newRow("Documentation") << "/DynamicDNS/IPUpdateClient/MACOSX";
    }
    void menuEntriesOpenTheProviderPages() {
        QFETCH(QString, path);
        const auto delegate = launch();
        menuEntry(*delegate, QTest::currentDataTag())->trigger();
        QCOMPARE(browser_.opened,
                 QList<QUrl>{QUrl("https://" + provider_->endpoints().webHost + path)});
    }

    void startAtLoginWritesAndRemovesTheAutostartEntry() {
        const auto delegate = launch();
        QAction* entry = menuEntry(*delegate, "Start at login");
        QFile file(configHome_.filePath("autostart/com.vorlin.IPUpdateClient.desktop"));
        entry->trigger();
        QVERIFY(entry->isChecked());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\nExec=sh -c \"sleep 5; exec '" +
                              QCoreApplication::applicationFilePath().toUtf8() + "'\"\n"));
        QVERIFY(text.contains("\nIcon=com.vorlin.IPUpdateClient\n"));
        entry->trigger();
        QVERIFY(!entry->isChecked());
        QVERIFY(!file.exists());
    }

    void autostartEntryIsValidForAnyProgramPath_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("space and apostrophe") << "/home/o'neil/my apps/vorlin-ipupdate";
        QTest::newRow("quote, dollar, backquote, backslash") << "/opt/a\"b$c`d\\e/vorlin-ipupdate";
    }
    void autostartEntryIsValidForAnyProgramPath() {
        QFETCH(QString, program);
        XdgAutostartItem item(program);
        QVERIFY(item.setEnabled(true));
        QProcess validate;
        validate.start("desktop-file-validate", {item.entryPath()});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(validate.exitCode(), 0);
        QCOMPARE(validate.readAll(), QByteArray());
        QVERIFY(item.setEnabled(false));
        QVERIFY(item.setEnabled(false)); // nothing left to remove
    }

    // An accepted update, the row's reply, then an accepted update again.
    void trayFollowsTheNewestCycle_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("failure"); // the reason shown; empty for none
        const auto row = [](const char* tag, int status, const QByteArray& body,
                            const char* failure) {
            QTest::newRow(tag) << status << body << failure;
        };
        const char* unreadable = "the service's reply could not be read";
        row("good", 200, goodReply, "");
        row("No Change", 200, statusReply("No Change"), "");
        row("dns error", 200, statusReply("dns error"), "fault on the service's side");
        row("911", 200, statusReply("911"), "the service is under maintenance");
        row("notfqdn", 200, statusReply("not fully qualified domain name"),
            "host name not fully qualified");
        row("abuse", 200, statusReply("abuse"), "updates blocked for abuse");
        row("no host", 200, statusReply("no host"), "no host names found");
        row("too many hosts", 200, statusReply("too many hosts"), "too many hosts in one update");
        row("not member", 200, statusReply("not member"), "option only for members");
        row("badauth", 200, statusReply("Bad Authentication"), "user name or password rejected");
        row("old version", 200, statusReply("old version"), "this client version is outdated");
        row("other keyword", 200, statusReply("nochg"), "unexpected reply from the service");
        row("HTTP 500", 500, goodReply, "no reply from the service");
        row("empty body", 200, "", unreadable);
        row("not JSON", 200, "OK", unreadable);
        row("good, address a number", 200, R"({"statusCode":"good","updatedIPv4Address":7})",
            unreadable);
    }
    void trayFollowsTheNewestCycle() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, failure);
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "");
        const auto delegate = launch();
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, goodReply));
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(status, body));
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, goodReply));

        QList<QPair<Look, QString>> shown;
        CycleDriver::run(3, [&](int) {
            QCoreApplication::processEvents();
            QString toolTip = delegate->statusItem()->toolTip();
            toolTip.replace(QRegularExpression("^(Last update failed at )\\d\\d:\\d\\d"),
                            "\\1HH:mm");
            shown << qMakePair(shownLook(*delegate), toolTip);
        });
        const bool failed = !failure.isEmpty();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[1], qMakePair(failed ? Look::Attention : Look::Working,
                                     failed ? "Last update failed at HH:mm: " + failure + "\r\n" +
                                                  acceptedToolTip
                                            : acceptedToolTip));
        QCOMPARE(shown[2], qMakePair(Look::Working, acceptedToolTip));
    }

    // Network changes and resumes end the wait early, yet no sooner than 30 s after a cycle.
    void earlyCycles_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("starts");
        QTest::newRow("nothing: the usual rhythm") << "" << QList<int>{0, 120};
        QTest::newRow("network back") << "40:offline 50:online" << QList<int>{0, 50, 170};
        QTest::newRow("online without being offline") << "50:online" << QList<int>{0, 120};
        QTest::newRow("back 10 s after a cycle") << "5:offline 10:online" << QList<int>{0, 30, 150};
        QTest::newRow("two changes 5 s apart: one cycle")
            << "3:offline 5:online 8:offline 10:online" << QList<int>{0, 30, 150};
        QTest::newRow("resume") << "60:suspend" << QList<int>{0, 60, 180};
        QTest::newRow("slow steps are no resume") << "60:lag 61:lag" << QList<int>{0, 120};
        QTest::newRow("Save is not held back")
            << "5:save 20:offline 25:online" << QList<int>{0, 5, 35, 155};
    }
    void earlyCycles() {
        QFETCH(QString, script);
        QFETCH(QList<int>, starts);
        TemporarySettingsStore::saveAccount("alice2024", "secret!", "home");
        QCOMPARE(cycleStarts(script), starts);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "tst_app_delegate.moc"
