#include "CycleDriver.h"
#include "DataRow.h"
#include "Files.h"
#include "LocalProvider.h"
#include "NotificationServer.h"
#include "StandardErrorCapture.h"
#include "TemporarySettingsStore.h"
#include "app/AppDelegate.h"
#include "app/DesktopNotification.h"
#include "app/KeychainKeyring.h"
#include "app/PreferencesWindow.h"
#include "app/SingleInstance.h"
#include "app/platform/linux/XdgAutostartItem.h"
#include "update/EarlyCycleTrigger.h"
#include "update/ProcessSignals.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace SettingsKeys;
using Look = AppDelegate::StatusLook;

namespace {

const QString prompt = "Please enter your username and password.";
const QStringList savedLines = {"Settings have been saved.", ""};
const QByteArray goodReply =
    R"({"statusCode":"good","updatedIPv4Address":"203.0.113.7","updatedIPv6Address":"2001:db8::7"})";
const QString acceptedToolTip =
    "Vorlin Dynamic DNS Online!\r\n\r\nIPv4 Address -> 203.0.113.7\r\nIPv6 Address -> 2001:db8::7";

QSet<QString> openDescriptors() {
    const QStringList entries =
        QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return {entries.begin(), entries.end()};
}

// NetworkManager and logind on the test's bus, on a thread of their own: the client's call
// blocks the test's thread.
class SystemServicesStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")

public:
    static inline const QString networkManager = "org.freedesktop.NetworkManager";
    static inline const QString login = "org.freedesktop.login1";

    SystemServicesStandIn(QDBusConnection bus, uint state) : bus_(bus), state_(state) {
        moveToThread(&thread_);
        thread_.start();
    }
    ~SystemServicesStandIn() override {
        bus_.unregisterService(networkManager);
        bus_.unregisterService(login);
        bus_.unregisterObject(path(networkManager));
        thread_.quit();
        thread_.wait();
    }
    bool serve() {
        QCoreApplication::processEvents(); // a bus takes calls once the event loop has run
        return bus_.registerObject(path(networkManager), this, QDBusConnection::ExportAllSlots) &&
               bus_.registerService(networkManager) && bus_.registerService(login);
    }
    void signal(const QString& service, const QString& interface, const QString& name,
                const QVariant& argument) {
        bus_.send(QDBusMessage::createSignal(path(service), interface, name) << argument);
    }

public slots:
    uint state() const { return state_; }

private:
    static QString path(const QString& service) { return "/" + QString(service).replace('.', '/'); }

    QDBusConnection bus_;
    uint state_;
    QThread thread_;
};

// A keyring that answers a read when the test says, as one whose unlock prompt is left open, and
// never tells whether it can be used.
struct LateKeyring : PasswordKeyring {
    std::function<void()> answer;
    void checkAvailability(std::function<void(std::optional<QString>)>) override {}
    void readPassword(const QString&, std::function<void(Read)> reply) override {
        answer = [reply] { reply({"0ld!Pass", {}}); };
    }
    std::optional<QString> writePassword(const QString&, const QString&) override { return {}; }
    Removal deletePassword(const QString&) override { return {}; }
};

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LocalProvider> provider_;
    std::unique_ptr<TemporarySettingsStore> store_;
    QTemporaryDir configHome_;
    QList<QUrl> opened_; // what the program handed to the desktop's browser
    QSet<QString> descriptorsBefore_;
    std::unique_ptr<NotificationServer> notifications_;

    static std::unique_ptr<AppDelegate> launch(bool atLogin = false) {
        auto delegate = std::make_unique<AppDelegate>([](auto) {});
        delegate->applicationDidFinishLaunching(atLogin);
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

public slots:
    void open(const QUrl& url) { opened_ << url; }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", configHome_.path().toUtf8()); // for the autostart entry
        qputenv("TZ", "AFT-4:30");                               // the local time is never UTC's
        tzset();
        // The network's reports come over the test's own bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        QDesktopServices::setUrlHandler("https", this, "open");
        provider_ = std::make_unique<LocalProvider>();
        provider_->addAccount({"alice2024", "s3cret!Pw", {"home"}});
        descriptorsBefore_ = openDescriptors();
        QApplication::setQuitOnLastWindowClosed(false); // as the program has it
        quitOnTerminationSignals();
        notifications_ = std::make_unique<NotificationServer>();
        QVERIFY(notifications_->registered);
    }
    void init() {
        PasswordKeyrings::install(std::make_shared<KeychainKeyring>()); // none on this bus
        PasswordKeyrings::hold(std::nullopt); // as a new process starts, holding none
        provider_->reset();
        opened_.clear();
        notifications_->titles.clear();
        store_ = std::make_unique<TemporarySettingsStore>();
        ActivityLog::create();
        KeepSnoozing = 1;
    }
    void cleanup() { store_.reset(); }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("https");
        provider_.reset();
    }

    // The first cycle waits while NetworkManager reports less than the internet, and so does
    // the next one after a resume; its report of the internet ends the wait.
    void networkReportsEndTheWait_data() {
        columns<uint, bool, bool>(); // state at start, then a resume, first cycle held
        QTest::newRow("site only") << 60u << false << true;
        QTest::newRow("internet, then a resume") << 70u << true << false;
    }
    void networkReportsEndTheWait() {
        const auto [atStart, resumes, held] = fetch<uint, bool, bool>();
        SystemServicesStandIn services(QDBusConnection::sessionBus(), atStart);
        QVERIFY(services.serve());
        std::shared_ptr<IPUpdateThread> worker; // the program's own, never started here
        AppDelegate delegate([&](auto started) { worker = started; });
        delegate.applicationDidFinishLaunching();
        const auto trigger = worker->earlyCycles();
        QCOMPARE(trigger->holdsFirstCycle(), held);
        if (resumes)
            services.signal(services.login, services.login + ".Manager", "PrepareForSleep", false);
        services.signal(services.networkManager, services.networkManager, "StateChanged", 70u);
        QTRY_VERIFY(!trigger->wakeAt(std::chrono::milliseconds::max()));
    }

    // Launch fills the window and writes nothing. Without a tray (offscreen) the window opens,
    // except at login once settings are saved: the user is told where it is, the first time.
    void launchFillsTheWindow_data() {
        columns<bool, bool>(); // saved before, started at login
        row("first run", false, false);
        row("saved before", true, false);
        row("first run at login", false, true);
        row("saved before, at login", true, true);
    }
    void launchFillsTheWindow() {
        const auto [wasSaved, atLogin] = fetch<bool, bool>();
        if (wasSaved)
            TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home", true, false);
        const auto before = TemporarySettingsStore::state();

        auto delegate = launch(atLogin);
        const PreferencesWindow& window = *delegate->window();
        QCOMPARE(window.textBoxUsername->text(), wasSaved ? "alice2024" : "");
        QCOMPARE(window.textBoxPassword->text(), wasSaved ? "s3cret!Pw" : "");
        QCOMPARE(window.textBoxPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(window.textBoxLocation->text(), wasSaved ? "home" : "");
        QVERIFY(window.checkBoxUpdateIPv4Address->isChecked());
        QCOMPARE(window.checkBoxUpdateIPv6Address->isChecked(), !wasSaved);
        QCOMPARE(logEntries(), wasSaved ? QStringList() : QStringList{prompt});
        QCOMPARE(TemporarySettingsStore::state(), before);
        QCOMPARE(QFile::exists(store_->filePath()), wasSaved);
        QVERIFY(!delegate->statusItem()->icon().pixmap(22).isNull()); // the SVG renders
        QCOMPARE(shownLook(*delegate), wasSaved ? Look::Working : Look::NotSetUp);
        const bool quiet = wasSaved && atLogin;
        QCOMPARE(window.isVisible(), !quiet);
        QTRY_VERIFY(quiet || window.checkBoxPasswordInKeyring->toolTip().startsWith(
                                 "No keyring answers in this session: none runs"));
        QVERIFY(!window.checkBoxPasswordInKeyring->isEnabled());
        if (quiet) { // told once: the next login's start tells nothing
            delegate.reset();
            launch(true);
        }
        const bool vanishes = wasSaved && !atLogin; // the settings, before a cycle
        if (vanishes) {
            MyFunctions::setToolTip(acceptedToolTip); // as a cycle that worked left it
            QFile::remove(store_->filePath());
            runCycles(1);
            QCoreApplication::processEvents(); // the tray stops saying updates work
            QCOMPARE(qMakePair(shownLook(*delegate), delegate->statusItem()->toolTip()),
                     qMakePair(Look::NotSetUp, QString()));
        }
        const QString told = quiet      ? "Vorlin IP Update Client keeps updating|"
                             : vanishes ? "Updates have stopped|"
                                        : "";
        notifyDesktop(nullptr, "end", {}); // after any of the program's own
        QTRY_COMPARE(notifications_->titles.join('|'), told + "end");
        if (wasSaved || atLogin)
            return;
        QVERIFY(window.textBoxActivityLog->toPlainText().contains(prompt));
        // The log view follows the log every second, its newest line in sight.
        for (int line = 0; line < 60; ++line)
            MyFunctions::addToActivityLog("later");
        QTRY_VERIFY_WITH_TIMEOUT(window.textBoxActivityLog->toPlainText().count("later") == 60,
                                 2500);
        const QScrollBar* bar = window.textBoxActivityLog->verticalScrollBar();
        QVERIFY(bar->value() > 0 && bar->value() == bar->maximum());
    }

    // Assistive technology names every control of the window (the fields and the log by their
    // labels), and the keyboard alone reaches every one that is enabled but the log.
    void controlsNamedAndReachable() {
        const auto delegate = launch();
        QVERIFY(QTest::qWaitForWindowActive(delegate->window()));
        const auto controls = delegate->window()->findChildren<QWidget*>(
            QRegularExpression("^(textBox|checkBox|button)"));
        QSet<QWidget*> unreached;
        for (QWidget* control : controls) {
            QVERIFY(
                !QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty());
            if (control->isEnabled() && control != delegate->window()->textBoxActivityLog)
                unreached << control;
        }
        for (int key = 0; key < 2 * controls.size();
             ++key, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            unreached.remove(QApplication::focusWidget());
        QVERIFY(unreached.isEmpty());
    }

    // A keyring gone: its choice shows, no Save drops it unasked, and undone, its entry remains.
    void keyringOutOfReachKeepsTheChoice() {
        TemporarySettingsStore::saveAccount("alice2024", "", "home");
        UserDefaults::setBool(passwordInKeyring, true);
        UserDefaults::setBool(keyringEntryPerSettings, true);
        const auto delegate = launch();
        QCheckBox* box = delegate->window()->checkBoxPasswordInKeyring;
        QTRY_VERIFY(box->isChecked() && box->isEnabled());
        fill(*delegate, "alice2024", "s3cret!Pw", "home");
        delegate->buttonSaveClick();
        QCOMPARE(logEntries().filter("The password could not be stored in the keyring").size(), 1);
        QCOMPARE(TemporarySettingsStore::state()[password], "enciphered:"); // still not in the file
        box->setChecked(false);
        delegate->buttonSaveClick();
        QCOMPARE(logEntries().filter("The keyring's entry for alice2024 may remain: ").size(), 1);
    }

    // The keyring answers in time, or late: updates then start in one worker, which its answer
    // wakes; what was typed meanwhile stays, a Save's password counts. The box stays disabled, a
    // Save too, while the keyring never tells whether it can be used.
    void keyringAnsweringLate_data() {
        columns<bool, QString, QString, bool>(); // late, typed meanwhile, then saved
        row("in time", false, QString("alice2024"), QString(), false);
        row("late, typed meanwhile", true, QString("alice2024"), QString("typed!Pw1"), false);
        row("late, another user begun", true, QString("bob2024"), QString(), false);
        row("late, saved meanwhile", true, QString("alice2024"), QString("s3cret!Pw"), true);
    }
    void keyringAnsweringLate() {
        const auto [late, user, typed, saved] = fetch<bool, QString, QString, bool>();
        TemporarySettingsStore::saveAccount("alice2024", "", "home");
        UserDefaults::setBool(passwordInKeyring, true);
        const auto keyring = std::make_shared<LateKeyring>();
        PasswordKeyrings::install(keyring);
        int workers = 0; // a Save's row saves within the patience, as a prompt left open waits
        AppDelegate delegate([&](auto) { ++workers; }, std::chrono::hours(saved ? 1 : 0));
        delegate.applicationDidFinishLaunching();
        fill(delegate, user, typed, "home");
        if (!late)
            keyring->answer();
        if (saved)
            delegate.buttonSaveClick();
        QTRY_COMPARE(workers, 1);
        QCOMPARE(KeepSnoozing.load(), 1); // a Save's wake is the worker's first cycle
        QCOMPARE(logEntries().filter("keyring has not answered yet").size(), int(late && !saved));
        if (late)
            keyring->answer();
        QTest::qWait(400); // past the patience in time's row
        QCOMPARE(workers, 1);
        QCOMPARE(KeepSnoozing.load(), late ? 0 : 1); // a late answer's cycle comes now
        QCOMPARE(delegate.window()->textBoxPassword->text(), late ? typed : "0ld!Pass");
        QCOMPARE(PasswordKeyrings::heldPassword("alice2024"), saved ? typed : "0ld!Pass");
        QVERIFY(!delegate.window()->checkBoxPasswordInKeyring->isEnabled());
    }

    // Enter in a field saves, the lines show at once, an invalid group's field is emptied.
    void saveShowsItsOutcome_data() {
        columns<QString, QString>(); // group entered, group field afterwards
        row("saved", QString("home"), QString("home"));
        row("group invalid", QString("home#1"), QString());
    }
    void saveShowsItsOutcome() {
        const auto [group, groupAfterwards] = fetch<QString, QString>();
        const auto delegate = launch();
        fill(*delegate, "alice2024", "s3cret!Pw", group);
        QTest::keyClick(delegate->window()->textBoxLocation, Qt::Key_Return); // Enter saves
        QCOMPARE(delegate->window()->textBoxActivityLog->toPlainText().contains(savedLines[0]),
                 group == groupAfterwards);
        QCOMPARE(delegate->window()->textBoxLocation->text(), groupAfterwards);
    }

    // The profile check answers late. Meanwhile what must not be used is disabled, the fields
    // take no key nor an input method's commit; Quit ends the program, telling nothing as the
    // window closes.
    void saveDuringItsVerification_data() {
        columns<bool, bool>(); // the store refuses Save's first writes, Quit meanwhile
        row("Save's writes stored", false, false);
        row("Save's first writes refused, its last holds them all", true, false);
        row("Quit meanwhile", false, true);
    }
    void saveDuringItsVerification() {
        const auto [unwritableAtFirst, quitMeanwhile] = fetch<bool, bool>();
        acceptSaveLate(*provider_, 400);
        const auto delegate = launch();
        PreferencesWindow& window = *delegate->window();
        fill(*delegate, "alice2024", "s3cret!Pw", "");
        if (unwritableAtFirst)
            store_->makeUnwritable();
        bool disabledMeanwhile = false;
        QTimer::singleShot(20, &window, [&] { // Save, which began at 0, waits for its reply
            disabledMeanwhile = !window.buttonSave->isEnabled() &&
                                !window.buttonClose->isEnabled() &&
                                !window.checkBoxUpdateIPv4Address->isEnabled() &&
                                !menuEntry(*delegate, "Documentation")->isEnabled() &&
                                menuEntry(*delegate, "Quit")->isEnabled();
            QInputMethodEvent commit; // as an input method (ibus, fcitx, compose) sends it
            commit.setCommitString("X");
            QCoreApplication::sendEvent(window.textBoxUsername, &commit);
            QTest::keyClick(window.textBoxUsername, Qt::Key_X);
            if (quitMeanwhile)
                menuEntry(*delegate, "Quit")->trigger();
            store_->makeWritable(); // for Save's last write
        });
        QTimer::singleShot(0, &window, [&] {
            delegate->buttonSaveClick();
            if (!quitMeanwhile)
                QCoreApplication::exit(1);
        });
        QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), quitMeanwhile ? 0 : 1);
        QVERIFY(disabledMeanwhile);
        QCOMPARE(window.textBoxUsername->text(), "alice2024");
        QCOMPARE(UserDefaults::boolForKey(saved), !quitMeanwhile); // Quit before the verdict
        if (quitMeanwhile) {
            notifyDesktop(nullptr, "end", {}); // a last one of the test's own
            QTRY_COMPARE(notifications_->titles, QStringList{"end"});
            return;
        }
        QCOMPARE(logEntries(), QStringList{prompt} + savedLines);
        QCOMPARE(int(KeepSnoozing.load()), 0);
        QCOMPARE(UserDefaults::objectForKey(username).toString(), "alice2024");
        QCOMPARE(provider_->requestLines().size(), 1);
        QVERIFY(window.buttonSave->isEnabled() && // all works again
                menuEntry(*delegate, "Documentation")->isEnabled());
    }

    void preferencesBringsTheWindowBack_data() {
        columns<bool, Qt::WindowStates>(); // closed (else minimized); the state to restore
        QTest::newRow("closed") << true << Qt::WindowStates();
        QTest::newRow("minimized from maximized") << false << Qt::WindowStates(Qt::WindowMaximized);
    }
    void preferencesBringsTheWindowBack() {
        const auto [closed, restored] = fetch<bool, Qt::WindowStates>();
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
        MyFunctions::addToActivityLog("while hidden");
        delegate->menuPreferencesClick();
        QVERIFY(window.isVisible());
        // A closed window's view catches up at once.
        QVERIFY(!closed || window.textBoxActivityLog->toPlainText().contains("while hidden"));
        QCOMPARE(window.windowState() & ~Qt::WindowActive, restored);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.textBoxPassword->text(), "typed");
        // Without a tray, only the first close tells how to come back and how to quit.
        QTest::mouseClick(window.buttonClose, Qt::LeftButton);
        notifyDesktop(nullptr, "end", {}); // after any of the program's own
        QTRY_COMPARE(notifications_->titles,
                     (QStringList{"Vorlin IP Update Client keeps updating", "end"}));
    }

    void menuEntriesOpenTheProviderPages() {
        const auto delegate = launch();
        menuEntry(*delegate, "Manage Groups")->trigger();
        menuEntry(*delegate, "Documentation")->trigger();
        const QString web = "https://" + provider_->endpoints().webHost;
        QCOMPARE(opened_, (QList<QUrl>{QUrl(web + "/ControlPanel/DDNSGroup"),
                                       QUrl(web + "/DynamicDNS/IPUpdateClient/MACOSX")}));
    }

    // The tick follows the user's entry as the menu opens, or else a system-wide one; an earlier
    // version's is brought up to date at launch. Ticking switches the user's own on in place,
    // keeping its lines; unticking removes it, or hides a system-wide one.
    void startAtLoginFollowsTheEntries_data() {
        // the user's entry (null: none), a system-wide one, ticked, the user's after a click
        columns<QByteArray, QByteArray, bool, QByteArray>();
        const QByteArray earlier = "[Desktop Entry]\nType=Application\nExec=sh -c \"sleep 5; exec "
                                   "'%1'\"\n",
                         current = QByteArray(earlier).replace("'\"", "' --background\""),
                         on = "X-GNOME-Autostart-enabled=true\n",
                         system = "[Desktop Entry]\nType=Application\nExec=vorlin-ipupdate\n";
        row("GNOME's off, spaced, CR LF",
            QByteArray(earlier).replace("\n", "\r\n") + "X-GNOME-Autostart-enabled = false\r\n",
            QByteArray(), false, current + on);
        row("KDE's on, then off: the last counts", earlier + "Hidden=false\nHidden=true\n",
            QByteArray(), false, current + on);
        row("an earlier version's, on", earlier, QByteArray(), true, QByteArray());
        row("the user's own, MATE's off",
            QByteArray("# mine\n[Desktop Entry]\nType=Application\nName[de]=V\nHidden=false\nExec="
                       "old\nX-GNOME-Autostart-Delay=9\nX-MATE-Autostart-enabled=false\n[X]\n"
                       "Hidden=true\n"),
            QByteArray(), false,
            "# mine\n[Desktop Entry]\nType=Application\nName[de]=V\n" + current.mid(33) +
                "X-GNOME-Autostart-Delay=9\nX-MATE-Autostart-enabled=true\n" + on +
                "[X]\nHidden=true\n");
        row("no program to start", QByteArray("[Desktop Entry]\nType=Application\n"), QByteArray(),
            false, "[Desktop Entry]\nType=Application\n" + on + current.mid(33));
        row("system-wide", QByteArray(), system, true,
            QByteArray("[Desktop Entry]\nType=Application\nName=Vorlin IP Update Client\n"
                       "Hidden=true\n"));
        row("the user's own hiding the system-wide one",
            QByteArray("[Desktop Entry]\nHidden=true\n"), system, false, QByteArray());
    }
    void startAtLoginFollowsTheEntries() {
        const auto [own, system, ticked, afterClick] =
            fetch<QByteArray, QByteArray, bool, QByteArray>();
        const QTemporaryDir systemFolder;
        qputenv("XDG_CONFIG_DIRS", systemFolder.path().toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_DIRS"); });
        const QString name = "/autostart/com.vorlin.IPUpdateClient.desktop";
        const QString file = configHome_.path() + name;
        const QByteArray program = QCoreApplication::applicationFilePath().toUtf8();
        QDir(configHome_.path() + "/autostart").removeRecursively();
        if (!own.isNull())
            writeFile(file, QByteArray(own).replace("%1", program));
        if (!system.isEmpty())
            writeFile(systemFolder.path() + name, system);
        const auto delegate = launch();
        QVERIFY(!own.contains("'%1'\"") || readFile(file).contains("' --background\"\n"));
        QAction* entry = menuEntry(*delegate, "Start at login");
        emit delegate->trayIconMenu()->aboutToShow();
        QCOMPARE(entry->isChecked(), ticked);
        entry->trigger(); // a click ticks the box as the entries then tell
        QCOMPARE(readFile(file), QByteArray(afterClick).replace("%1", program));
        QCOMPARE(entry->isChecked(), !ticked);
    }

    // A cycle over HTTPS per kind of outcome, between two accepted ones.
    void cycleOutcomes_data() {
        // status, body; what the cycle logs after its announcement, whether the next request is
        // a first update, the reason the tray shows; NetworkManager's state
        columns<int, QByteArray, QStringList, bool, QString, uint>();
        const QString unreadable = "the service's reply could not be read";
        row("not adopted", 200, QByteArray(R"({"statusCode":"abuse"})"),
            QStringList{"Server response: abuse",
                        "[abuse] IP address was not updated due to abusive IP update behaviour.",
                        ""},
            true, QString("updates blocked for abuse"), 70u);
        const QString noReply = "no reply from the service";
        row("HTTP 500", 500, goodReply, QStringList(), false, noReply, 70u);
        row("HTTP 500, the network down", 500, goodReply, QStringList(), false, noReply, 20u);
        row("empty body", 200, QByteArray(), QStringList{""}, false, unreadable, 70u);
        row("unreadable", 200, QByteArray("OK"), QStringList(), false, unreadable, 70u);
    }
    void cycleOutcomes() {
        const auto [status, body, block, firstUpdateNext, failure, network] =
            fetch<int, QByteArray, QStringList, bool, QString, uint>();
        TemporarySettingsStore::saveAccount("alice2024", "s3cret!Pw", "home", false, true);
        SystemServicesStandIn services(QDBusConnection::sessionBus(), network);
        QVERIFY(services.serve());
        const auto delegate = launch();
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, goodReply));
        for (int twice = 0; twice < 2; ++twice)
            provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(status, body));
        provider_->scriptReply("/nic/clientupdate", LocalProvider::reply(200, goodReply));

        QList<QPair<Look, QString>> shown; // after each cycle
        QStringList remembered;
        const auto cycles = runCycles(4, [&](int done) {
            // The second cycle's IPv6 check fails, as on a network without IPv6.
            provider_->setPublicAddresses("203.0.113.7", done == 1 ? "" : "2001:db8::7");
            QCoreApplication::processEvents();
            QString toolTip = delegate->statusItem()->toolTip();
            for (const QDateTime& at : {QDateTime::currentDateTime().addSecs(-60),
                                        QDateTime::currentDateTime()}) // local time
                toolTip.replace("failed at " + at.toString("HH:mm"), "failed at HH:mm");
            shown << qMakePair(shownLook(*delegate), toolTip);
            remembered << MyFunctions::getConfigurationString(updatedipv4) + ' ' +
                              MyFunctions::getConfigurationString(updatedipv6);
        });
        const QStringList announcement = {
            "IP address update initiated.",
            "Updating IP address for username alice2024 and group home."};
        QCOMPARE(cycles.size(), 4);
        QCOMPARE(cycles[1], announcement + block);
        QCOMPARE(remembered[1], firstUpdateNext ? " " : "203.0.113.7 2001:db8::7");
        const bool failed = !failure.isEmpty();
        QCOMPARE(shown[1], qMakePair(failed ? Look::Attention : Look::Working,
                                     failed ? "Last update failed at HH:mm: " + failure + "\r\n" +
                                                  acceptedToolTip
                                            : acceptedToolTip));
        QCOMPARE(shown[3], qMakePair(Look::Working, acceptedToolTip));
        // Told once each as updates fail and work again; offline is no news. The test's own
        // last one tells that all before it came.
        notifyDesktop(nullptr, "end", {});
        QTRY_VERIFY(notifications_->titles.contains("end"));
        const QStringList told = {"Updates are failing", "Updates work again"};
        QCOMPARE(notifications_->titles,
                 (network == 70u ? told : QStringList()) + QStringList{"end"});
        // IPv4 not reported; a first update after start-up and after a reply not adopted.
        const QStringList requests = provider_->requestLines().filter("/nic/clientupdate?");
        QCOMPARE(requests[0], "GET /nic/clientupdate?username=alice2024&password="
                              "515e2fbbd31c992aedf690f205398f4d&location=home&myipv4=no&myipv6="
                              "2001:db8::7&uin=1 HTTP/1.1");
        QVERIFY(requests[1].endsWith("&myipv6= HTTP/1.1")); // sent all the same
        QCOMPARE(requests[2].contains("&uin=1"), firstUpdateNext);
        // Both addresses are looked up whatever the families reported.
        QCOMPARE(provider_->requestLines(StandInProvider::Host::IPv4Check).size(), 4);
    }

    // What is told as cycles end (F failed, f failed offline, S succeeded, N no settings).
    void noticesAsCyclesEnd_data() {
        columns<bool, QString, QStringList>(); // set up at start, the cycles, what is told
        row("failures apart: nothing", true, QString("F S F S"), QStringList());
        row("failing holds: told once, and its end", true, QString("F F F S S"),
            QStringList{"failing", "working again"});
        row("offline: nothing", true, QString("f f f S"), QStringList());
        row("settings gone: told once", true, QString("S N N"), QStringList{"stopped"});
        row("never set up: nothing", false, QString("N N"), QStringList());
        row("saved, then gone: told", false, QString("N S N"), QStringList{"stopped"});
    }
    void noticesAsCyclesEnd() {
        const auto [setUp, cycles, expected] = fetch<bool, QString, QStringList>();
        UpdateNotices notices(setUp);
        QStringList told;
        for (const QString& cycle : cycles.split(' ')) {
            const CycleOutcome outcome{cycle != "N", cycle == "S", QString(), QString()};
            if (const auto notice = notices.afterCycle(outcome, cycle == "f"))
                told << QStringList{"failing", "working again", "stopped"}[int(*notice)];
        }
        QCOMPARE(told, expected);
    }

    // Nothing the program opens at start leaks into the processes it starts (browsers). An
    // exchange still in flight (a Save abandoned by Quit) holds libcurl's own socket pair, which
    // it makes without close-on-exec, until it ends.
    void nothingLeaksIntoStartedPrograms() {
        SingleInstance first;
        QCOMPARE(first.claim(false), SingleInstance::Claim::Run);
        const auto inherited = [&] {
            QStringList targets;
            for (const QString& descriptor : openDescriptors() - descriptorsBefore_)
                if (const int flags = ::fcntl(descriptor.toInt(), F_GETFD);
                    flags >= 0 && !(flags & FD_CLOEXEC)) // < 0: closed meanwhile
                    targets << QFile::symLinkTarget("/proc/self/fd/" + descriptor);
            return targets;
        };
        QTRY_COMPARE(inherited(), QStringList());
        first.release();
    }

    // Last: it starts a process, after which ThreadSanitizer follows no new thread.
    void autostartEntryIsValidForAnyProgramPath_data() {
        columns<QString>();
        QTest::newRow("space and apostrophe") << "/home/o'neil/my apps/vorlin-ipupdate";
        QTest::newRow("quote, dollar, backquote, backslash") << "/opt/a\"b$c`d\\e/vorlin-ipupdate";
        QTest::newRow("percent") << "/opt/100%x/vorlin-ipupdate";
    }
    // An earlier version's entry, with a path's '%' as it stood, is made the same as a new one.
    void autostartEntryIsValidForAnyProgramPath() {
        const auto [program] = fetch<QString>();
        XdgAutostartItem item(program);
        QVERIFY(item.setEnabled(true));
        const QByteArray current = readFile(item.entryPath());
        writeFile(item.entryPath(), QByteArray(current).replace("%%", "%"));
        item.keepCurrent();
        QCOMPARE(readFile(item.entryPath()), current);
        QProcess validate;
        validate.start("desktop-file-validate", {item.entryPath()});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(validate.exitCode(), 0);
        QCOMPARE(validate.readAll(), QByteArray());
        QVERIFY(item.setEnabled(false));
        QVERIFY(item.setEnabled(false)); // nothing left to remove
    }
};

QTEST_MAIN(AppDelegateTest)
#include "tst_app_delegate.moc"
