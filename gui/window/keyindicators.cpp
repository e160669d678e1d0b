#include "gui/window/keyindicators.h"

#include <QGuiApplication>

// Xlib's macros break Qt headers: it comes after all of them, in this file only.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

// The state of the named indicator; false when the keymap has no such indicator.
bool NamedIndicatorOn(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None)
        return false;
    Bool bOn = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &bOn, nullptr, nullptr))
        return false;
    return bOn == True;
}

} // namespace

CKeyIndicators ReadKeyIndicators() {
    CKeyIndicators indicators;
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return indicators;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr)
        return indicators;
    indicators.bKnown = true;
    indicators.bCaps = NamedIndicatorOn(display, "Caps Lock");
    indicators.bNum = NamedIndicatorOn(display, "Num Lock");
    return indicators;
}
