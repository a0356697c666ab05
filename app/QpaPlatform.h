#pragma once

#include <QByteArray>

// The platform plugin the program has to be started on, or an empty value to leave Qt's own
// choice. `chosen` is QT_QPA_PLATFORM, `sessionType` XDG_SESSION_TYPE and `waylandDisplay`
// WAYLAND_DISPLAY. libvlc draws into X11 windows and the frameless windows move themselves, neither
// of which works on Qt's Wayland plugin: a Wayland session runs the program on XWayland unless the
// user picked a platform.
QByteArray qpaPlatformFor(const QByteArray &chosen, const QByteArray &sessionType,
                          const QByteArray &waylandDisplay);
