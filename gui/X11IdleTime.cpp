#include "gui/X11IdleTime.h"

#include <QGuiApplication>

#if defined(KIV_WITH_XSS) && QT_CONFIG(xcb)
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#endif

std::optional<uint64_t> X11IdleMilliseconds()
{
#if defined(KIV_WITH_XSS) && QT_CONFIG(xcb)
    // Only a program shown through the X server may ask it; on any other
    // platform there is no display to ask.
    if (qGuiApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display *display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr)
        return std::nullopt;
    int event = 0, error = 0;
    if (XScreenSaverQueryExtension(display, &event, &error) == 0)
        return std::nullopt;
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    if (info == nullptr)
        return std::nullopt;
    std::optional<uint64_t> idle;
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info) != 0)
        idle = info->idle;
    XFree(info);
    return idle;
#else
    return std::nullopt;
#endif
}
