#include "LocalProvider.h"
#include "TemporarySettingsStore.h"
#include "XDisplay.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Where the test runs: an X server of its own, with trayer on it when the environment asks.
const QString tray = qEnvironmentVariable("VORLIN_TEST_TRAY");
const XDisplay* display = nullptr;

void clickAt(const QPoint& global) {
    display->xdotool(
        {"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
}

} // namespace

// The program's delegate on that display, driven by real input: clicks that the X server
// delivers to the program's top-level windows, as a user's do.
class RealInputTest : public QObject {
    Q_OBJECT

private slots:
    // While Save waits for a late reply, a click on the window's Menu button (or the tray
    // icon), then on Quit in its menu, ends the program at once, and nothing is stored.
    void quitDuringSaveByRealClicks() {
        const TemporarySettingsStore store;
        LocalProvider provider;
        provider.addAccount({"alice2024", "s3cret!Pw", {"home"}});
        acceptSaveLate(provider, 10'000);
        AppDelegate delegate([](auto) {});
        delegate.applicationDidFinishLaunching(); // a first run: the window shows
        PreferencesWindow& window = *delegate.window();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(tray.isEmpty() || !delegate.statusItem()->geometry().isEmpty());
        window.textBoxUsername->setText("alice2024");
        window.textBoxPassword->setText("s3cret!Pw");
        QMenu& menu = *delegate.trayIconMenu();
        // Once Save's request is out, the Menu button (or the tray icon), then Quit, the menu's
        // last entry. The menu runs a loop of its own once it opens; timers still come.
        bool menuClicked = false, menuShown = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &window, [&] {
            if (!menuClicked && !provider.requestLines().isEmpty()) {
                menuClicked = true;
                QToolButton& button = *window.buttonMenu;
                clickAt(tray.isEmpty() ? button.mapToGlobal(button.rect().center())
                                       : delegate.statusItem()->geometry().center());
            } else if (menuClicked && !menuShown && (menuShown = menu.isVisible())) {
                clickAt(menu.mapToGlobal(menu.actionGeometry(menu.actions().last()).center()));
            }
        });
        watch.start(50);
        QTimer::singleShot(0, &window, [&] { delegate.buttonSaveClick(); });
        QTimer::singleShot(8000, &window, [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(menuShown);
        QVERIFY(!UserDefaults::boolForKey(SettingsKeys::saved));
    }
};

int main(int argc, char* argv[]) {
    const XDisplay screen(tray == "xembed");
    if (!screen.ready)
        qFatal("no X display of the test's own");
    display = &screen;
    qputenv("DISPLAY", screen.name.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"); // no network service here
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // as the program has it
    RealInputTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_real_input.moc"
