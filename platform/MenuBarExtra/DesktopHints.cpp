#include "platform/MenuBarExtra/DesktopHints.hpp"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

namespace berthkeep {

namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* x11Connection() {
    if (qGuiApp == nullptr) {
        return nullptr;
    }
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

int defaultScreenNumber() {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) != 0) {
        std::free(host);
    }
    return screen;
}

// An atom nobody has made yet cannot name an owned selection.
xcb_atom_t existingAtom(xcb_connection_t* connection, const std::string& name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()),
            nullptr),
        &std::free);
    return reply ? reply->atom : XCB_ATOM_NONE;
}

xcb_window_t managerOwner(xcb_connection_t* connection, const std::string& prefix) {
    const xcb_atom_t selection =
        existingAtom(connection, prefix + std::to_string(defaultScreenNumber()));
    if (selection == XCB_ATOM_NONE) {
        return XCB_WINDOW_NONE;
    }
    const XcbReply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection),
                                      nullptr),
        &std::free);
    return reply ? reply->owner : XCB_WINDOW_NONE;
}

std::vector<uint32_t> cardinals(xcb_connection_t* connection, xcb_window_t window,
                                const std::string& property) {
    const xcb_atom_t name = existingAtom(connection, property);
    if (name == XCB_ATOM_NONE) {
        return {};
    }
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, name, XCB_ATOM_CARDINAL, 0, 64),
            nullptr),
        &std::free);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32) {
        return {};
    }
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<uint32_t>(values, values + count);
}

} // namespace

bool DesktopHints::compositingActive() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return true;
    }
    xcb_connection_t* connection = x11Connection();
    return connection != nullptr && managerOwner(connection, "_NET_WM_CM_S") != XCB_WINDOW_NONE;
}

std::optional<QColor> DesktopHints::trayForeground() {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return std::nullopt;
    }
    const xcb_window_t tray = managerOwner(connection, "_NET_SYSTEM_TRAY_S");
    if (tray == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    // Foreground, error, warning, success: red, green and blue of 16 bits each.
    const std::vector<uint32_t> colors = cardinals(connection, tray, "_NET_SYSTEM_TRAY_COLORS");
    if (colors.size() < 3) {
        return std::nullopt;
    }
    return QColor::fromRgba64(static_cast<quint16>(colors[0]), static_cast<quint16>(colors[1]),
                              static_cast<quint16>(colors[2]));
}

} // namespace berthkeep
