#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdlib>
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
        if (withTray) {
            tray_.setProcessEnvironment(environment());
            tray_.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request"});
        }
        // What the program asks at start: whether anyone owns the tray's selection.
        QElapsedTimer clock;
        for (clock.start(); !ready && clock.elapsed() < 20'000; QThread::msleep(50))
            ready = !withTray || ownsSelection("_NET_SYSTEM_TRAY_S0");
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

    // Runs xdotool, or another tool, on this display; what it printed.
    QString xdotool(const QStringList& arguments, const QString& program = "xdotool") const {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(program, arguments);
        tool.waitForFinished();
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    QString name;
    bool ready = false;

private:
    bool ownsSelection(const QByteArray& selection) const {
        xcb_connection_t* connection = xcb_connect(name.toLatin1(), nullptr);
        const auto atom = xcb_intern_atom(connection, 0, selection.size(), selection);
        xcb_intern_atom_reply_t* interned = xcb_intern_atom_reply(connection, atom, nullptr);
        xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, interned ? interned->atom : 0),
            nullptr);
        const bool owned = owner && owner->owner != XCB_NONE;
        std::free(owner);
        std::free(interned);
        xcb_disconnect(connection);
        return owned;
    }

    QProcess server_;
    QProcess tray_;
};

// The startup notifications' messages to the display's root window, from its making on: the
// only client messages of 8-bit data that anyone sends there.
class StartupMessages {
public:
    explicit StartupMessages(const XDisplay& display)
        : connection_(xcb_connect(display.name.toLatin1(), nullptr)) {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE; // what they are sent with
        xcb_change_window_attributes(
            connection_, xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root,
            XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }
    ~StartupMessages() { xcb_disconnect(connection_); }

    // Whether the message has come whole.
    bool received(const QByteArray& message) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const auto* part = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && part->format == 8)
                parts_.append(reinterpret_cast<const char*>(part->data.data8), 20);
            std::free(event);
        }
        return parts_.contains(message + '\0');
    }

private:
    xcb_connection_t* connection_;
    QByteArray parts_;
};
