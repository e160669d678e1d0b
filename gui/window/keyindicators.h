#pragma once
// The lock keys' indicator state of the keyboard, for the status bar's CAP and NUM panes.

struct CKeyIndicators {
    bool bKnown = false; // false where the platform gives no indicator state
    bool bCaps = false;
    bool bNum = false;
};

// Reads Caps Lock and Num Lock from the X display's keyboard indicators; unknown on any
// platform but xcb. Scroll Lock has no indicator in the usual keymap: the caller tracks it.
CKeyIndicators ReadKeyIndicators();
