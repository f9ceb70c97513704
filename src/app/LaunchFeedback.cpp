#include "app/LaunchFeedback.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

LaunchActivation LaunchActivation::fromEnvironment() {
    LaunchActivation launch{qEnvironmentVariable("DESKTOP_STARTUP_ID"),
                            qEnvironmentVariable("XDG_ACTIVATION_TOKEN")};
    // Debian 12's GLib hands over the startup id alone, which mutter takes as a token too.
    if (launch.token.isEmpty())
        launch.token = launch.startupId;
    return launch;
}

QVariantMap LaunchActivation::platformData() const {
    QVariantMap data;
    if (!token.isEmpty())
        data.insert("activation-token", token);
    if (!startupId.isEmpty())
        data.insert("desktop-startup-id", startupId);
    return data;
}

LaunchActivation LaunchActivation::fromPlatformData(const QVariantMap& data) {
    return {data.value("desktop-startup-id").toString(), data.value("activation-token").toString()};
}

namespace {

#if QT_CONFIG(xcb)
xcb_connection_t* x11Connection() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, false, std::strlen(name), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The startup notification's message to the root window: 20 bytes to a client message, the first
// of its own type, the text ended by a NUL.
void sendStartupMessage(xcb_connection_t* connection, const QByteArray& message) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = root;
    event.type = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t continued = atom(connection, "_NET_STARTUP_INFO");
    const QByteArray text = message + '\0';
    for (qsizetype sent = 0; sent < text.size(); sent += 20) {
        std::memset(event.data.data8, 0, sizeof event.data.data8);
        std::memcpy(event.data.data8, text.constData() + sent,
                    size_t(std::min<qsizetype>(20, text.size() - sent)));
        xcb_send_event(connection, false, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
        event.type = continued;
    }
    xcb_flush(connection);
}

// A value of the message, quoted where it holds a space, a quote or a backslash.
QByteArray messageValue(const QString& text) {
    QByteArray value = text.toUtf8();
    if (!value.contains(' ') && !value.contains('"') && !value.contains('\\'))
        return value;
    return '"' + value.replace('\\', "\\\\").replace('"', "\\\"") + '"';
}
#endif

} // namespace

void LaunchFeedback::prepare(QWidget& window, const LaunchActivation& launch) {
#if QT_CONFIG(xcb)
    // The window manager brings a window forward for the launch its _NET_STARTUP_ID names.
    if (xcb_connection_t* connection = x11Connection()) {
        const QByteArray id = launch.startupId.toUtf8();
        if (!id.isEmpty())
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()),
                                atom(connection, "_NET_STARTUP_ID"),
                                atom(connection, "UTF8_STRING"), 8, uint32_t(id.size()),
                                id.constData());
        return;
    }
#endif
    // Qt's Wayland window takes the token from the environment when it asks to come forward.
    if (QGuiApplication::platformName().startsWith("wayland") && !launch.token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", launch.token.toUtf8());
}

void LaunchFeedback::end([[maybe_unused]] const LaunchActivation& launch) {
#if QT_CONFIG(xcb)
    if (xcb_connection_t* connection = x11Connection(); connection && !launch.startupId.isEmpty())
        sendStartupMessage(connection, "remove: ID=" + messageValue(launch.startupId));
#endif
}
