#pragma once
// Numbers of the program's commands and strings, the keys of the string table: help contexts,
// status prompts and stored files refer to them. The window's controls and dialogs are
// numbered in gui/base/controlids.h.

// Commands (each is also the id of its status prompt in the string table).
constexpr int ID_FILE_SET_OUTPUT = 1001;
constexpr int ID_FILE_SET_SEARCH_STRINGS = 1002;
constexpr int ID_FILE_EDIT_SEARCH_STRINGS = 1003;
constexpr int ID_FILE_START_REPORTING = 1004;
constexpr int ID_FILE_STOP_REPORTING = 1005;
constexpr int ID_FILE_EDIT_FILE = 1006;
constexpr int ID_FILE_EXIT = 1007;
constexpr int ID_EDIT_COPY_REPORT = 2001;
constexpr int ID_EDIT_CLEAR_SCREEN = 2002;
constexpr int ID_HELP_SEARCH = 3002;
constexpr int ID_HELP_ABOUT = 3005;
constexpr int ID_NEXT_CONTROL = 40002;
constexpr int ID_HELP_INDEX = 57666;
constexpr int ID_HELP_USING = 57668;
constexpr int ID_CONTEXT_HELP = 57669;
constexpr int ID_HELP = 57670;
constexpr int ID_DEFAULT_HELP = 57671;

// Strings.
constexpr int IDS_APP_TITLE = 57344;
constexpr int IDS_READY = 57345;
constexpr int IDS_ABOUT_DESCRIPTION = 210;
constexpr int IDS_ABOUT_COPYRIGHT = 211;
constexpr int IDS_ABOUT_VERSION = 212;
constexpr int IDS_ABOUT_NOTICE = 213;
constexpr int IDS_FAILED_TO_LAUNCH_HELP = 61703;

// Message texts (prefixed: icon character, button digit, text).
constexpr int IDP_NO_STRINGS_FILE = 10000;
constexpr int IDP_CONFIRM_DELETE = 10001;
constexpr int IDP_STRING_REQUIRED = 10002;
constexpr int IDP_STRING_EXISTS = 10003;
constexpr int IDP_NOTHING_TO_MODIFY = 10004;
constexpr int IDP_TOO_MANY_STRINGS = 10005;
constexpr int IDP_EDIT_FILE_NO_MEMORY = 10006;
constexpr int IDP_EDIT_FILE_FAILED = 10007;
