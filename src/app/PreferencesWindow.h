#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The preferences window: account fields, the keyring box, the two address-family boxes, the
// activity log and the Save and Close buttons, each control named after its outlet.
class PreferencesWindow : public QWidget {
    Q_OBJECT

public:
    PreferencesWindow();

    QLineEdit* const textBoxUsername;
    QLineEdit* const textBoxPassword;
    QLineEdit* const textBoxLocation;
    QCheckBox* const checkBoxPasswordInKeyring;
    QCheckBox* const checkBoxUpdateIPv4Address;
    QCheckBox* const checkBoxUpdateIPv6Address;
    QPlainTextEdit* const textBoxActivityLog;
    QPushButton* const buttonSave;
    QPushButton* const buttonClose;
    // Offers the tray menu's commands on desktops without a tray.
    QToolButton* const buttonMenu;

    // Asks for the focus, for a window just shown once it is on screen: Wayland compositors
    // refuse the request (and the launch's token with it) for a window not mapped yet.
    void activateWhenShown();

signals:
    void closing();
    void visibilityChanged(bool visible);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layOut();

    bool painted_ = false; // since it was last shown
    bool activationPending_ = false;
};
