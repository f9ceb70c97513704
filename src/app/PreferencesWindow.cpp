#include "app/PreferencesWindow.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

namespace {

template <typename Control> Control* named(Control* control, const char* objectName) {
    control->setObjectName(objectName);
    return control;
}

} // namespace

PreferencesWindow::PreferencesWindow()
    : textBoxUsername(named(new QLineEdit, "textBoxUsername")),
      textBoxPassword(named(new QLineEdit, "textBoxPassword")),
      textBoxLocation(named(new QLineEdit, "textBoxLocation")),
      checkBoxPasswordInKeyring(named(new QCheckBox(tr("Keep the password in the keyring")),
                                      "checkBoxPasswordInKeyring")),
      checkBoxUpdateIPv4Address(
          named(new QCheckBox(tr("Keep the IPv4 address updated")), "checkBoxUpdateIPv4Address")),
      checkBoxUpdateIPv6Address(
          named(new QCheckBox(tr("Keep the IPv6 address updated")), "checkBoxUpdateIPv6Address")),
      textBoxActivityLog(named(new QPlainTextEdit, "textBoxActivityLog")),
      buttonSave(named(new QPushButton(tr("Save")), "buttonSave")),
      buttonClose(named(new QPushButton(tr("Close")), "buttonClose")),
      buttonMenu(named(new QToolButton, "buttonMenu")) {
    setWindowTitle(tr("Vorlin IP Update Client"));
    setWindowIcon(QIcon(":/icon_nsstatusitem"));
    textBoxPassword->setEchoMode(QLineEdit::Password);
    textBoxLocation->setPlaceholderText(tr("optional"));
    textBoxActivityLog->setReadOnly(true);
    textBoxActivityLog->setFocusPolicy(Qt::ClickFocus); // not a stop of the tab order
    textBoxActivityLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    textBoxActivityLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    buttonSave->setDefault(true);
    buttonMenu->setText(tr("Menu"));
    // Always there: a tray may vanish, or come only after the program's start, which Qt's
    // D-Bus tray never takes up.
    buttonMenu->setPopupMode(QToolButton::InstantPopup);
    // Enter in any field saves, as the default button would in a dialog.
    for (QLineEdit* field : {textBoxUsername, textBoxPassword, textBoxLocation})
        connect(field, &QLineEdit::returnPressed, buttonSave, &QPushButton::click);
    layOut();
}

void PreferencesWindow::layOut() {
    auto* account = new QFormLayout;
    account->addRow(tr("User name:"), textBoxUsername);
    account->addRow(tr("Password:"), textBoxPassword);
    account->addRow(QString(), checkBoxPasswordInKeyring);
    account->addRow(tr("Group:"), textBoxLocation);
    account->addRow(QString(), checkBoxUpdateIPv4Address);
    account->addRow(QString(), checkBoxUpdateIPv6Address);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(buttonMenu);
    buttons->addStretch();
    buttons->addWidget(buttonSave);
    buttons->addWidget(buttonClose);

    auto* window = new QVBoxLayout(this);
    window->addLayout(account);
    auto* activity = new QLabel(tr("Activity:"));
    activity->setBuddy(textBoxActivityLog); // which names the log for assistive technology
    window->addWidget(activity);
    window->addWidget(textBoxActivityLog, 1);
    window->addLayout(buttons);
    resize(620, 460);

    setTabOrder(textBoxUsername, textBoxPassword);
    setTabOrder(textBoxPassword, checkBoxPasswordInKeyring);
    setTabOrder(checkBoxPasswordInKeyring, textBoxLocation);
    setTabOrder(textBoxLocation, checkBoxUpdateIPv4Address);
    setTabOrder(checkBoxUpdateIPv4Address, checkBoxUpdateIPv6Address);
    setTabOrder(checkBoxUpdateIPv6Address, buttonSave);
    setTabOrder(buttonSave, buttonClose);
}

void PreferencesWindow::activateWhenShown() {
    if (painted_)
        activateWindow();
    else
        activationPending_ = true;
}

// The first frame reaches the screen once the paint is over.
void PreferencesWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    painted_ = true;
    if (std::exchange(activationPending_, false))
        QTimer::singleShot(0, this, &QWidget::activateWindow);
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closing();
}

void PreferencesWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit visibilityChanged(true);
}

void PreferencesWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    painted_ = false;
    emit visibilityChanged(false);
}
