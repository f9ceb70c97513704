#pragma once

#include "log/ActivityLog.h"
#include "settings/UserDefaults.h"
#include "update/IPUpdateThread.h"

#include <functional>
#include <memory>

class LoginItem;
class PreferencesWindow;
class QAction;
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

    explicit AppDelegate(WorkerStarter startWorker = startDetachedWorker);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();

    PreferencesWindow* window() const { return window_.get(); }
    QSystemTrayIcon* statusItem() const { return statusItem_; }
    QMenu* trayIconMenu() const { return trayIconMenu_.get(); }

    qsizetype shownLogLength() const override { return shownLog_.size(); }
    void showLog(const QString& text) override;
    void showToolTip(const QString& text) override;

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
    void createStatusItem();
    void fillPreferencesFromStore();
    void emptyPreferencesForFirstRun();
    void startUpdateWorker();
    void setSaving(bool saving);
    void saveVerifiedSettings(const UserDefaults::WriteCheck& writes);
    void windowClosed();

    WorkerStarter startWorker_;
    std::unique_ptr<LoginItem> loginItem_;
    std::unique_ptr<QMenu> trayIconMenu_;
    std::unique_ptr<PreferencesWindow> window_;
    QSystemTrayIcon* statusItem_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    QAction* startAtLoginEntry_ = nullptr;
    QAction* quitEntry_ = nullptr;
    QString shownLog_;
    bool saving_ = false;
};
