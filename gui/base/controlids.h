#pragma once
// Numbers of the window's controls, indicators and dialogs, and the help contexts built on
// them. They are part of the design: help contexts and stored files refer to them.

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

// Help context bases: a dialog's or a message box's help id is added to them.
constexpr unsigned HELP_BASE_DIALOG = 0x20000;
constexpr unsigned HELP_BASE_MESSAGE = 0x30000;
// Help context of the main window.
constexpr unsigned HELP_CONTEXT_MAIN_WINDOW = 3000;
