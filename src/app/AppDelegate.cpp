#include "app/AppDelegate.h"

#include "account/AccountPassword.h"
#include "account/SaveSettings.h"
#include "app/DesktopNotification.h"
#include "app/NetworkReachability.h"
#include "app/PreferencesWindow.h"
#include "app/ProfileCheckWait.h"
#include "app/platform/LoginItem.h"
#include "service/ServiceEndpoints.h"
#include "settings/PasswordKeyring.h"
#include "settings/Settings.h"
#include "settings/UserDefaults.h"
#include "update/ClientUpdate.h"
#include "update/Snooze.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <thread>
#include <utility>

using MyFunctions::addToActivityLog;
using namespace SettingsKeys;

namespace {

const auto firstRunPrompt = QStringLiteral("Please enter your username and password.");
const auto loginItemNotChangedMessage = QStringLiteral("Start at login could not be changed.");

bool isOn(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

void openProviderPage(const char* path) {
    QDesktopServices::openUrl(QUrl(webPageUrl(QString::fromLatin1(path))));
}

// The sizes trays ask for; the SVG is drawn afresh for each.
const int statusIconSizes[] = {16, 22, 24, 32, 48, 64};

// The icon as the style draws a disabled one: greyed.
QIcon greyed(const QIcon& icon) {
    QIcon result;
    for (const int size : statusIconSizes)
        result.addPixmap(icon.pixmap(size, QIcon::Disabled));
    return result;
}

QIcon withBadge(const QIcon& icon, const QIcon& badge) {
    QIcon result;
    for (const int size : statusIconSizes) {
        QPixmap pixmap = icon.pixmap(size);
        QPainter(&pixmap).drawPixmap(0, 0, badge.pixmap(size));
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace

void AppDelegate::startDetachedWorker(std::shared_ptr<IPUpdateThread> worker) {
    // Never joined: the process ends without waiting for a request or a wait in progress.
    std::thread([worker] { worker->process(); }).detach();
}

AppDelegate::AppDelegate(WorkerStarter startWorker, std::chrono::milliseconds keyringPatience)
    : startWorker_(std::move(startWorker)), keyringPatience_(keyringPatience),
      loginItem_(makeLoginItem(QCoreApplication::applicationFilePath())),
      trayIconMenu_(std::make_unique<QMenu>()), window_(std::make_unique<PreferencesWindow>()) {
    const QIcon icon(":/icon_nsstatusitem");
    statusIcons_ = {greyed(icon), icon, withBadge(icon, QIcon(":/badge_attention"))};
    buildMenu();
    window_->buttonMenu->setMenu(trayIconMenu_.get());
    connect(window_->buttonSave, &QPushButton::clicked, this, &AppDelegate::buttonSaveClick);
    connect(window_->buttonClose, &QPushButton::clicked, this, &AppDelegate::buttonCloseClick);
    connect(window_.get(), &PreferencesWindow::closing, this, &AppDelegate::windowClosed);
    connect(window_.get(), &PreferencesWindow::visibilityChanged, this,
            &AppDelegate::followLogWhileVisible);
    connect(window_.get(), &PreferencesWindow::visibilityChanged, this, &AppDelegate::offerKeyring);
    window_->checkBoxPasswordInKeyring->setEnabled(false); // until the keyring answers
    QCoreApplication::instance()->installEventFilter(this);
    for (QLineEdit* field : entryFields())
        field->installEventFilter(this);
}

AppDelegate::~AppDelegate() {
    ActivityLog::setDisplay(nullptr);
}

void AppDelegate::buildMenu() {
    QMenu& menu = *trayIconMenu_;
    menu.addAction(tr("Preferences..."), this, &AppDelegate::menuPreferencesClick);
    menu.addSeparator();
    menu.addAction(tr("Purchase a Domain Name"), this, &AppDelegate::menuPurchaseDomainNameClick);
    menu.addAction(tr("Add a DDNS Hostname"), this, &AppDelegate::menuAddDDNSHostnameClick);
    menu.addAction(tr("Open Control Panel"), this, &AppDelegate::menuOpenControlPanelClick);
    menu.addAction(tr("Manage Groups"), this, &AppDelegate::menuManageLocationsClick);
    menu.addAction(tr("Contact Support"), this, &AppDelegate::menuContactSupportClick);
    menu.addAction(tr("Documentation"), this, &AppDelegate::menuDocumentationClick);
    menu.addSeparator();
    if (loginItem_) {
        startAtLoginEntry_ =
            menu.addAction(tr("Start at login"), this, &AppDelegate::menuStartAtLoginClick);
        startAtLoginEntry_->setCheckable(true);
        // The entry on disk is the state: read it afresh whenever the menu opens.
        connect(&menu, &QMenu::aboutToShow, this,
                [this] { startAtLoginEntry_->setChecked(loginItem_->isEnabled()); });
    }
    quitEntry_ = menu.addAction(tr("Quit"), this, &AppDelegate::menuQuitClick);
}

void AppDelegate::applicationDidFinishLaunching(bool startedAtLogin) {
    ActivityLog::setDisplay(this);
    if (loginItem_)
        loginItem_->keepCurrent();
    const bool saved = UserDefaults::boolForKey(SettingsKeys::saved);
    notices_ = UpdateNotices(saved);
    // Until a cycle reports, saved settings are taken to work.
    createStatusItem(saved ? StatusLook::Working : StatusLook::NotSetUp);
    if (saved)
        fillPreferencesFromStore();
    else
        emptyPreferencesForFirstRun();
    // A keyring may first ask to be unlocked: the worker starts once it has answered, or
    // without it when it keeps silent (a prompt left open), to be woken once it answers.
    takePasswordFromKeyring([self = QPointer<AppDelegate>(this)] {
        if (self)
            self->keyringAnswered();
    });
    if (!earlyCycles_)
        QTimer::singleShot(keyringPatience_, this, &AppDelegate::startWithoutKeyring);

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(1000);
    connect(refreshTimer_, &QTimer::timeout, this, &MyFunctions::refreshActivityLog);
    followLogWhileVisible(window_->isVisible());

    // A first-time user, and a desktop without a tray, need the window to find anything; but
    // at every login it would be in the way: then the user learns once where it is.
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    if (!saved || (!tray && !startedAtLogin))
        menuPreferencesClick();
    else if (!tray && firstTimeToTell(".quiet-start-told"))
        tellHowToReturn();
}

const QIcon& AppDelegate::statusIcon(StatusLook look) const {
    return statusIcons_.at(static_cast<size_t>(look));
}

void AppDelegate::createStatusItem(StatusLook look) {
    delete statusItem_;
    look_ = look;
    statusItem_ = new QSystemTrayIcon(statusIcon(look), this);
    statusItem_->setContextMenu(trayIconMenu_.get());
    // A left click opens the same menu as a right click. Under Wayland a program cannot tell
    // where the pointer is, and its menu would open mid-screen: the window opens instead, whose
    // Menu button holds the same menu (the shell's own right-click menu stays as it is).
    connect(statusItem_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason != QSystemTrayIcon::Trigger)
                    return;
                if (QGuiApplication::platformName().startsWith("wayland"))
                    menuPreferencesClick();
                else
                    trayIconMenu_->popup(QCursor::pos());
            });
    // Also when no tray is there yet: the item shows up once one appears.
    statusItem_->show();
}

// Asked when the window, where the box is, first shows: a keyring (KWallet, say) may open
// itself to answer, which a start at login that shows nothing must not cause. Where no keyring
// answers, the box says why, and can only undo a choice made earlier.
void AppDelegate::offerKeyring() {
    if (std::exchange(keyringAsked_, true))
        return;
    const auto show = [self = QPointer<AppDelegate>(this)](std::optional<QString> unavailability) {
        if (!self)
            return;
        QCheckBox* box = self->window_->checkBoxPasswordInKeyring;
        self->keyringUsable_ = !unavailability || isOn(box);
        box->setEnabled(self->keyringUsable_ && !self->saving_);
        box->setToolTip(unavailability.value_or(
            tr("Keeps the password in the desktop's keyring (such as GNOME Keyring or KWallet) "
               "rather than in the settings file.")));
    };
    if (const auto keyring = PasswordKeyrings::installed())
        return keyring->checkAvailability(show);
    show(tr("No keyring can be reached."));
}

void AppDelegate::fillPreferencesFromStore() {
    window_->textBoxUsername->setText(UserDefaults::objectForKey(username).toString());
    window_->textBoxPassword->setText(savedPassword());
    window_->checkBoxPasswordInKeyring->setChecked(UserDefaults::boolForKey(passwordInKeyring));
    window_->textBoxLocation->setText(UserDefaults::objectForKey(location).toString());
    window_->checkBoxUpdateIPv4Address->setChecked(UserDefaults::boolForKey(updateIPv4Address));
    window_->checkBoxUpdateIPv6Address->setChecked(UserDefaults::boolForKey(updateIPv6Address));
}

void AppDelegate::emptyPreferencesForFirstRun() {
    window_->textBoxUsername->setText(QString());
    window_->textBoxPassword->setText(QString());
    window_->textBoxLocation->setText(QString());
    window_->checkBoxPasswordInKeyring->setChecked(false);
    window_->checkBoxUpdateIPv4Address->setChecked(true);
    window_->checkBoxUpdateIPv6Address->setChecked(true);
    addToActivityLog(firstRunPrompt);
}

void AppDelegate::keyringAnswered() {
    // Unless the user has begun another account meanwhile.
    if (window_->textBoxPassword->text().isEmpty() &&
        window_->textBoxUsername->text() == UserDefaults::stringForKey(username))
        window_->textBoxPassword->setText(savedPassword());
    if (earlyCycles_)
        wakeUpdateWorker();
    else
        startUpdateWorker();
}

void AppDelegate::startWithoutKeyring() {
    if (earlyCycles_) // the keyring answered in time, or a Save started the updates
        return;
    addToActivityLog("The keyring has not answered yet: updates start without the password and "
                     "go on with it once the keyring answers.");
    startUpdateWorker();
}

void AppDelegate::startUpdateWorker() {
    KeepSnoozing = 1; // a wake from before is spent by the first cycle, which comes at once
    earlyCycles_ = std::make_shared<EarlyCycleTrigger>();
    followNetworkReachability(earlyCycles_, this);
    startWorker_(std::make_shared<IPUpdateThread>(requestClientUpdate,
                                                  std::make_shared<SystemWait>(), earlyCycles_));
}

// A hidden view shows nothing, so it is not refreshed: the program stays asleep between
// cycles. Shown again, it catches up at once.
void AppDelegate::followLogWhileVisible(bool visible) {
    if (!refreshTimer_)
        return; // not launched yet
    if (!visible) {
        refreshTimer_->stop();
        return;
    }
    MyFunctions::refreshActivityLog();
    refreshTimer_->start();
}

void AppDelegate::showLog(const QString& text) {
    QPlainTextEdit* view = window_->textBoxActivityLog;
    view->setPlainText(text);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
}

void AppDelegate::showToolTip(const QString& text) {
    acceptedToolTip_ = text;
    showStatus();
}

void AppDelegate::showCycleOutcome(const CycleOutcome& outcome) {
    if (!outcome.setUp) {
        look_ = StatusLook::NotSetUp;
        acceptedToolTip_.clear(); // it went through for settings that are no longer there
    } else {
        look_ = outcome.succeeded ? StatusLook::Working : StatusLook::Attention;
    }
    failureNote_ = outcome.failureNote;
    showStatus();
    if (const auto notice =
            notices_.afterCycle(outcome, earlyCycles_ && earlyCycles_->networkDown()))
        tell(*notice);
}

void AppDelegate::tell(UpdateNotices::Notice notice) {
    switch (notice) {
    case UpdateNotices::Notice::Failing:
        notifyDesktop(statusItem_, tr("Updates are failing"),
                      failureNote_ + tr("\nYour host names may no longer point here."));
        break;
    case UpdateNotices::Notice::WorkingAgain:
        notifyDesktop(statusItem_, tr("Updates work again"),
                      tr("Your host names point at this computer's addresses again."));
        break;
    case UpdateNotices::Notice::Stopped:
        notifyDesktop(statusItem_, tr("Updates have stopped"),
                      tr("The settings are gone or cannot be read. Open the window and save "
                         "the account again."));
        break;
    }
}

void AppDelegate::showStatus() {
    QStringList lines;
    if (!failureNote_.isEmpty())
        lines << failureNote_;
    if (!acceptedToolTip_.isEmpty())
        lines << acceptedToolTip_;
    const QString toolTip = lines.join("\r\n");
    // Set only on a change: every setting is a round trip to the tray host.
    if (statusItem_->toolTip() != toolTip)
        statusItem_->setToolTip(toolTip);
    if (statusItem_->icon().cacheKey() != statusIcon(look_).cacheKey())
        statusItem_->setIcon(statusIcon(look_));
}

void AppDelegate::buttonSaveClick() {
    if (saving_)
        return; // the verification of an earlier Save is still running
    const AccountEntries entries = enteredAccount();
    setSaving(true);
    const auto saveDone = qScopeGuard([this] { setSaving(false); });
    const SaveOutcome outcome = saveSettings(entries, checkProfileWhilePainting);
    if (outcome == SaveOutcome::InvalidGroup)
        window_->textBoxLocation->setText("");
    // The password a keyring still holds back came with the Save: updates need not wait for it.
    if (outcome == SaveOutcome::Saved && !earlyCycles_)
        startUpdateWorker();
}

AccountEntries AppDelegate::enteredAccount() const {
    return {window_->textBoxUsername->text(),         window_->textBoxPassword->text(),
            window_->textBoxLocation->text(),         isOn(window_->checkBoxUpdateIPv4Address),
            isOn(window_->checkBoxUpdateIPv6Address), isOn(window_->checkBoxPasswordInKeyring)};
}

std::array<QLineEdit*, 3> AppDelegate::entryFields() const {
    return {window_->textBoxUsername, window_->textBoxPassword, window_->textBoxLocation};
}

// While Save waits for the provider, everything that would change an entry or run a command
// is disabled, however the input comes (a click, a key, a drop, a tray menu over D-Bus); the
// tray icon, the window's Menu button and Quit in their menu still work, so the program can
// be ended at once. Read-only fields still show what is saved; an input method's commit,
// which they would take, is dropped on its way to them.
void AppDelegate::setSaving(bool saving) {
    saving_ = saving;
    for (QWidget* control : std::initializer_list<QWidget*>{
             window_->buttonSave, window_->buttonClose, window_->checkBoxUpdateIPv4Address,
             window_->checkBoxUpdateIPv6Address})
        control->setEnabled(!saving);
    window_->checkBoxPasswordInKeyring->setEnabled(!saving && keyringUsable_);
    for (QLineEdit* field : entryFields())
        field->setReadOnly(saving);
    for (QAction* action : trayIconMenu_->actions())
        if (action != quitEntry_)
            action->setEnabled(!saving);
}

void AppDelegate::buttonCloseClick() {
    window_->close();
}

// Without a tray the program goes on updating in the background; the first time, the user
// learns how to get the window back and how to end it. Trays come and go with the desktop,
// so this is asked as the window closes.
void AppDelegate::windowClosed() {
    if (!quitting_ && !QSystemTrayIcon::isSystemTrayAvailable())
        tellHowToReturn();
}

void AppDelegate::tellHowToReturn() {
    if (toldHowToReturn_)
        return;
    toldHowToReturn_ = true;
    notifyDesktop(statusItem_, tr("Vorlin IP Update Client keeps updating"),
                  tr("Start it again to open its window. To stop it, choose Quit in the "
                     "window's Menu."));
}

// A quit (Quit, a termination signal, the session ending) closes the window on its way out;
// that close must not announce that the program keeps updating. While Save runs, an input
// method's commit to an entry field goes nowhere.
bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != QCoreApplication::instance())
        return saving_ && event->type() == QEvent::InputMethod;
    if (event->type() == QEvent::Quit)
        quitting_ = true;
    return false;
}

void AppDelegate::menuPreferencesClick() {
    // Qt counts a minimized window as visible; a window already in view keeps its place.
    if (!window_->isVisible() || window_->isMinimized()) {
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
        window_->show();
        window_->raise();
    }
    window_->activateWhenShown();
}

void AppDelegate::menuPurchaseDomainNameClick() {
    openProviderPage("/ControlPanel/AddDomainRegistration");
}

void AppDelegate::menuAddDDNSHostnameClick() {
    openProviderPage("/ControlPanel/AddDDNS");
}

void AppDelegate::menuOpenControlPanelClick() {
    openProviderPage("/ControlPanel");
}

void AppDelegate::menuManageLocationsClick() {
    openProviderPage("/ControlPanel/DDNSGroup");
}

void AppDelegate::menuContactSupportClick() {
    openProviderPage("/ControlPanel/SupportTicket");
}

void AppDelegate::menuDocumentationClick() {
    openProviderPage("/DynamicDNS/IPUpdateClient/MACOSX");
}

void AppDelegate::menuStartAtLoginClick(bool checked) {
    if (!loginItem_->setEnabled(checked))
        addToActivityLog(loginItemNotChangedMessage);
    startAtLoginEntry_->setChecked(loginItem_->isEnabled());
}

void AppDelegate::menuQuitClick() {
    QCoreApplication::quit();
}
