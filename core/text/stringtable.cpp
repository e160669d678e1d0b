#include "core/text/stringtable.h"

#include "core/text/resource.h"

namespace {

struct StringEntry {
    int id;
    const char* text;
};

const StringEntry StringTable[] = {
    {IDS_APP_TITLE, "Kavel 2000"},
    {IDS_READY, "Ready"},
    {IDS_ABOUT_DESCRIPTION, "Checks text and source files for year 2000 problems"},
    {IDS_ABOUT_COPYRIGHT, "Copyright (C) 1997 VornSoftware"},
    {IDS_ABOUT_VERSION, "Version 1.00.000 / 32-bit Windows 95/NT"},
    {IDS_ABOUT_NOTICE, "Year 2000 Compliance Checker"},

    {IDP_NO_STRINGS_FILE, "!Error: No search string file has been set!"},
    {IDP_CONFIRM_DELETE, "?3Are you sure you wish to delete this string ?"},
    {IDP_STRING_REQUIRED, "!Error: A string must be entered!"},
    {IDP_STRING_EXISTS, "!Error: This string already exists!\nIt cannot be added again."},
    {IDP_NOTHING_TO_MODIFY, "!Error: There is no string to modify!"},
    {IDP_TOO_MANY_STRINGS,
     "!Error: Cannot add string!\nThe maximum number of strings allowed has been reached."},
    {IDP_EDIT_FILE_NO_MEMORY,
     "!Error: There is not enough memory to open the selected text as a file."},
    {IDP_EDIT_FILE_FAILED, "!Error: The file could not be opened!\n%1"},
    {IDS_FAILED_TO_LAUNCH_HELP, "Failed to launch help."},

    // Status prompts of the menu commands.
    {ID_FILE_SET_OUTPUT, "Set the output file for reports"},
    {ID_FILE_SET_SEARCH_STRINGS, "Set the search string file to use when reporting"},
    {ID_FILE_EDIT_SEARCH_STRINGS,
     "Edit the search strings in the currently selected search string file"},
    {ID_FILE_START_REPORTING, "Start the reporting process"},
    {ID_FILE_STOP_REPORTING, "Stop the reporting process"},
    {ID_FILE_EDIT_FILE, "Use the highlighted text in the edit field as a file name to be edited"},
    {ID_FILE_EXIT, "Exit this program"},
    {ID_EDIT_COPY_REPORT, "Copy the contents of the report window to the clipboard"},
    {ID_EDIT_CLEAR_SCREEN, "Clear the contents of the results window"},
    {ID_HELP_INDEX, "List Help topics"},
    {ID_HELP_SEARCH, "Search for Help on a specific topic"},
    {ID_HELP_USING, "Display instructions about how to use help"},
    {ID_HELP_ABOUT, "Display program information, version number and copyright"},

    // Status prompts of the window menu.
    {61184, "Change the window size"},
    {61185, "Change the window position"},
    {61186, "Reduce the window to an icon"},
    {61187, "Enlarge the window to full size"},
    {61188, "Switch to the next window"},
    {61189, "Switch to the previous window"},
    {61190, "Close the window and prompts to save the project"},
    {61202, "Restore the window to normal size"},
    {61203, "Activate Task List"},
    {61215, "Activate this window"},
};

} // namespace

const char* FindStringResource(int id) {
    for (const StringEntry& entry : StringTable)
        if (entry.id == id)
            return entry.text;
    return nullptr;
}

std::string LoadStringResource(int id, size_t capacity) {
    const char* text = FindStringResource(id);
    if (text == nullptr || capacity == 0)
        return std::string();
    std::string result(text);
    if (result.size() > capacity - 1)
        result.resize(capacity - 1);
    return result;
}
