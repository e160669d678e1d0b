#pragma once
// The main window's commands: the menu bar's items and the rules that enable commands. Plain
// data and functions, so the rules can be checked without widgets.

#include <cstddef>

// What the enable rules look at.
struct CCommandState {
    bool bReporting = false;       // a report run is active
    bool bReportSelection = false; // the report view holds a non-empty selection
};

using EnableRule = bool (*)(const CCommandState&);

// One entry of a menu: a command, or a separator when nId is 0.
struct CMenuItem {
    int nId;
    const char* szText;
};

struct CMenuDefinition {
    const char* szTitle;
    const CMenuItem* pItems;
    size_t nItems;
};

// The menus of the menu bar, left to right.
extern const CMenuDefinition APPLICATION_MENU[3];

// The enable rules of the commands.
bool WhenIdle(const CCommandState& state);      // no run is active
bool WhenReporting(const CCommandState& state); // a run is active
bool WithSelection(const CCommandState& state); // text is selected in the report view
bool Always(const CCommandState& state);

// Whether the command may run in this state; an id without a rule is never enabled. (The
// commands' table, with each one's handler, is the main window's.)
bool IsCommandEnabled(int nId, const CCommandState& state);
