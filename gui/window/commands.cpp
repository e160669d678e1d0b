#include "gui/window/commands.h"

#include "core/text/resource.h"

#include <iterator>

bool WhenIdle(const CCommandState& state) {
    return !state.bReporting;
}
bool WhenReporting(const CCommandState& state) {
    return state.bReporting;
}
bool WithSelection(const CCommandState& state) {
    return state.bReportSelection;
}
bool Always(const CCommandState&) {
    return true;
}

namespace {

const CMenuItem FILE_MENU[] = {
    {ID_FILE_SET_OUTPUT, "Set &Output File..."},
    {0, nullptr},
    {ID_FILE_SET_SEARCH_STRINGS, "Set &Search Strings File..."},
    {ID_FILE_EDIT_SEARCH_STRINGS, "&Edit Search Strings..."},
    {0, nullptr},
    {ID_FILE_START_REPORTING, "Start &Reporting"},
    {ID_FILE_STOP_REPORTING, "&Stop reporting"},
    {0, nullptr},
    {ID_FILE_EDIT_FILE, "Edit &File"},
    {0, nullptr},
    {ID_FILE_EXIT, "E&xit"},
};

const CMenuItem EDIT_MENU[] = {
    {ID_EDIT_COPY_REPORT, "&Copy\tCtrl+C"},
    {0, nullptr},
    {ID_EDIT_CLEAR_SCREEN, "Clear &Screen"},
};

const CMenuItem HELP_MENU[] = {
    {ID_HELP_INDEX, "&Index\tF1"},           {ID_HELP_SEARCH, "&Search for Help On..."},
    {ID_HELP_USING, "&Using Help"},          {0, nullptr},
    {ID_HELP_ABOUT, "&About Kavel 2000..."},
};

} // namespace

const CMenuDefinition APPLICATION_MENU[3] = {
    {"&File", FILE_MENU, std::size(FILE_MENU)},
    {"&Edit", EDIT_MENU, std::size(EDIT_MENU)},
    {"&Help", HELP_MENU, std::size(HELP_MENU)},
};
