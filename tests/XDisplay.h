#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <functional>
#include <xcb/xcb.h>

// An X server of the test's own (Xvfb), with a real tray host (trayer) on it or none. It
// waits without an event loop, so that a test can make it before its QApplication.
class XDisplay {
public:
    explicit XDisplay(bool withTray) {
        // Xvfb writes its display's number once it takes connections. Without -noreset it
        // starts afresh whenever its last client leaves, and refuses clients meanwhile.
        server_.start("Xvfb", {"-displayfd", "1", "-noreset", "-screen", "0", "800x600x24",
                               "-nolisten", "tcp"});
        if (!server_.waitForReadyRead(20'000))
            return;
        name = ':' + QString::fromLatin1(server_.readAllStandardOutput()).trimmed();
        if (!withTray) {
            ready = true;
            return;
        }
        tray_.setProcessEnvironment(environment());
        tray_.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request"});
        // What the program asks at start: whether anyone owns the tray's selection.
        ready = waitFor([this] { return ownsSelection("_NET_SYSTEM_TRAY_S0"); });
    }
    ~XDisplay() {
        for (QProcess* process : {&tray_, &server_}) {
            process->kill();
            process->waitForFinished();
        }
    }

    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const {
        base.insert("DISPLAY", name);
        base.insert("QT_QPA_PLATFORM", "xcb");
        return base;
    }

    // Runs xdotool on this display; what it printed.
    QString xdotool(const QStringList& arguments) const {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start("xdotool", arguments);
        tool.waitForFinished();
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
    // The shown top-level windows the search finds (a tray icon is the tray host's child).
    QStringList windows(const QStringList& search) const {
        return xdotool(QStringList{"search", "--maxdepth", "1", "--onlyvisible"} + search)
            .split('\n', Qt::SkipEmptyParts);
    }

    QString name;
    bool ready = false;

private:
    static bool waitFor(const std::function<bool()>& condition) {
        QElapsedTimer clock;
        for (clock.start(); clock.elapsed() < 20'000; QThread::msleep(50))
            if (condition())
                return true;
        return false;
    }

    bool ownsSelection(const QByteArray& selection) const {
        xcb_connection_t* connection = xcb_connect(name.toLatin1(), nullptr);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, selection.size(), selection), nullptr);
        xcb_get_selection_owner_reply_t* owner =
            atom ? xcb_get_selection_owner_reply(
                       connection, xcb_get_selection_owner(connection, atom->atom), nullptr)
                 : nullptr;
        const bool owned = owner && owner->owner != XCB_NONE;
        std::free(owner);
        std::free(atom);
        xcb_disconnect(connection);
        return owned;
    }

    QProcess server_;
    QProcess tray_;
};
