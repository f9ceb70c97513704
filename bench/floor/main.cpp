// The floor for the start-up benchmark: a minimal Qt Widgets program with one tray icon and
// one window built the way the client builds its own, and nothing else. Given a URL, it first
// makes one HTTPS request to it through libcurl and the system's store, as any HTTPS client of
// this distribution does.

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <curl/curl.h>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    if (argc > 1) {
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, argv[1]);
        curl_easy_setopt(
            easy, CURLOPT_WRITEFUNCTION,
            +[](char*, size_t size, size_t count, void*) { return size * count; });
        if (curl_easy_perform(easy) != CURLE_OK)
            qFatal("the floor's HTTPS request to %s failed", argv[1]);
        curl_easy_cleanup(easy);
    }

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
