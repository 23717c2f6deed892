#pragma once

#include <QColor>

#include <optional>

namespace berthkeep {

// What the desktop announces about how our windows and tray icon are shown.
// On X11 the managers own the selection `<name>_S<screen>` of the screen: a
// compositing manager `_NET_WM_CM_S<n>`, a tray host `_NET_SYSTEM_TRAY_S<n>`.
// Each call asks the X server afresh over Qt's own connection (a round trip or
// two). Main thread only.
class DesktopHints {
public:
    DesktopHints() = delete;

    // Whether translucent window pixels are blended with what lies below.
    // Without a compositing manager an X server shows them black. Wayland
    // always composites; offscreen and other platforms count as not.
    static bool compositingActive();

    // The colour the tray host draws symbolic icons in, from its
    // `_NET_SYSTEM_TRAY_COLORS`; absent off X11, without a tray host or when
    // the host publishes none.
    static std::optional<QColor> trayForeground();
};

} // namespace berthkeep
