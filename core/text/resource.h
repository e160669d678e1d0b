#pragma once
// Numbers of the program's commands, controls, dialogs and strings. They are part of the
// design: help contexts, status prompts and stored files refer to them.

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

// Controls of the main window.
constexpr int IDC_FILE_LIST = 500;
constexpr int IDC_DIR_LIST = 501;
constexpr int IDC_DRIVE_BOX = 502;
constexpr int IDC_REPORT = 550;
constexpr int IDC_STATUS_BAR = 59393;
constexpr int ID_INDICATOR_CAPS = 59137;
constexpr int ID_INDICATOR_NUM = 59138;
constexpr int ID_INDICATOR_SCRL = 59139;

// Dialog templates.
constexpr int IDD_ABOUTBOX = 111;
constexpr int IDD_SEARCH_STRINGS = 1103;

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

// Help context bases: a dialog's or a message box's help id is added to them.
constexpr unsigned HELP_BASE_DIALOG = 0x20000;
constexpr unsigned HELP_BASE_MESSAGE = 0x30000;
// Help context of the main window.
constexpr unsigned HELP_CONTEXT_MAIN_WINDOW = 3000;
