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

signals:
    void closing();
    void visibilityChanged(bool visible);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void layOut();
};
