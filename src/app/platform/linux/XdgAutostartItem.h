#pragma once

#include "app/platform/LoginItem.h"

#include <QStringList>
#include <optional>

// The user's XDG autostart entry, $XDG_CONFIG_HOME/autostart/<application id>.desktop, which
// overrides a system-wide entry of the same name in $XDG_CONFIG_DIRS/autostart.
class XdgAutostartItem : public LoginItem {
public:
    static constexpr auto applicationId = "com.vorlin.IPUpdateClient";
    // Seconds to wait at login, so the desktop's tray is up before the icon asks for it.
    static constexpr int startDelaySeconds = 5;

    explicit XdgAutostartItem(const QString& programPath);

    QString entryPath() const;
    bool isEnabled() const override;
    bool setEnabled(bool enabled) override;
    void keepCurrent() override;

private:
    bool switchOn() const;
    bool switchOff() const;
    std::optional<QString> systemEntryPath() const;
    bool writeEntry(const QString& text) const;
    QString execValue(bool quietly) const;
    QString entryText() const;

    QString programPath_;
};
