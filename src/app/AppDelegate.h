#pragma once

#include "account/SaveSettings.h"
#include "app/UpdateNotices.h"
#include "log/ActivityLog.h"
#include "settings/UserDefaults.h"
#include "update/IPUpdateThread.h"

#include <QIcon>
#include <array>
#include <chrono>
#include <functional>
#include <memory>

class LoginItem;
class PreferencesWindow;
class QAction;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The application's one delegate: the tray item and its menu, the preferences window and
// every action on them. It also shows the activity log and the tray tooltip.
class AppDelegate : public ActivityLogDisplay {
    Q_OBJECT

public:
    // Runs the update worker for the rest of the process; the task keeps the worker alive.
    using WorkerStarter = std::function<void(std::shared_ptr<IPUpdateThread>)>;
    static void startDetachedWorker(std::shared_ptr<IPUpdateThread> worker);

    // What the status item's icon tells: no settings saved yet, the newest cycle's update
    // went through, or it failed.
    enum class StatusLook { NotSetUp, Working, Attention };

    // How long updates wait at start for a keyring that asks to be unlocked.
    static constexpr std::chrono::seconds defaultKeyringPatience{30};

    explicit AppDelegate(WorkerStarter startWorker = startDetachedWorker,
                         std::chrono::milliseconds keyringPatience = defaultKeyringPatience);
    ~AppDelegate() override;

    // Started at login (the autostart entry's option), the program opens no window where
    // there is no tray once settings are saved.
    void applicationDidFinishLaunching(bool startedAtLogin = false);

    PreferencesWindow* window() const { return window_.get(); }
    QSystemTrayIcon* statusItem() const { return statusItem_; }
    QMenu* trayIconMenu() const { return trayIconMenu_.get(); }
    const QIcon& statusIcon(StatusLook look) const;

    void showLog(const QString& text) override;
    void showToolTip(const QString& text) override;
    void showCycleOutcome(const CycleOutcome& outcome) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void buttonSaveClick();
    void buttonCloseClick();
    void menuPreferencesClick();
    void menuPurchaseDomainNameClick();
    void menuAddDDNSHostnameClick();
    void menuOpenControlPanelClick();
    void menuManageLocationsClick();
    void menuContactSupportClick();
    void menuDocumentationClick();
    void menuQuitClick();
    void menuStartAtLoginClick(bool checked);

private:
    void buildMenu();
    void createStatusItem(StatusLook look);
    void showStatus();
    void tell(UpdateNotices::Notice notice);
    void followLogWhileVisible(bool visible);
    void offerKeyring();
    void fillPreferencesFromStore();
    void emptyPreferencesForFirstRun();
    void keyringAnswered();
    void startWithoutKeyring();
    void startUpdateWorker();
    AccountEntries enteredAccount() const;
    std::array<QLineEdit*, 3> entryFields() const;
    void setSaving(bool saving);
    void windowClosed();
    void tellHowToReturn();

    WorkerStarter startWorker_;
    std::chrono::milliseconds keyringPatience_;
    std::unique_ptr<LoginItem> loginItem_;
    std::unique_ptr<QMenu> trayIconMenu_;
    std::unique_ptr<PreferencesWindow> window_;
    QSystemTrayIcon* statusItem_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    QAction* startAtLoginEntry_ = nullptr;
    QAction* quitEntry_ = nullptr;
    std::array<QIcon, 3> statusIcons_;
    StatusLook look_ = StatusLook::NotSetUp;
    QString acceptedToolTip_; // the text of the newest accepted update
    QString failureNote_;     // why the newest cycle failed; empty after a success
    UpdateNotices notices_{false};
    std::shared_ptr<EarlyCycleTrigger> earlyCycles_;
    bool keyringAsked_ = false;
    bool keyringUsable_ = false; // the box may be ticked or unticked
    bool saving_ = false;
    bool toldHowToReturn_ = false;
    bool quitting_ = false; // the application asked to quit: its windows close on their way
};
