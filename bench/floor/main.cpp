// The floor for the start-up benchmark: a minimal Qt Widgets program with one tray icon and
// one window built the way the client builds its own, and nothing else.

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);

    QMenu menu;
    menu.addAction("Quit", &application, &QApplication::quit);
    QSystemTrayIcon tray(QIcon(":/icon.svg"));
    tray.setContextMenu(&menu);
    tray.show();

    QWidget window;
    window.setWindowTitle("Floor window");
    auto* form = new QFormLayout;
    form->addRow("User name:", new QLineEdit);
    form->addRow("Password:", new QLineEdit);
    form->addRow("Group:", new QLineEdit);
    form->addRow(QString(), new QCheckBox("IPv4"));
    form->addRow(QString(), new QCheckBox("IPv6"));
    auto* layout = new QVBoxLayout(&window);
    layout->addLayout(form);
    layout->addWidget(new QPlainTextEdit);
    layout->addWidget(new QPushButton("Save"));
    window.resize(620, 460);
    window.show();
    window.activateWindow(); // as the client does: focus, and its blinking cursor
    return application.exec();
}
