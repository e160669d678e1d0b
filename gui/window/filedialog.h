#pragma once
// The program's file dialogs: Qt's own dialog, so that tests can drive it.

#include <string>

class QWidget;

// Dialog flags that change what the dialog accepts.
constexpr unsigned OFN_OVERWRITEPROMPT = 0x0002;
constexpr unsigned OFN_HIDEREADONLY = 0x0004;
constexpr unsigned OFN_PATHMUSTEXIST = 0x0800;
constexpr unsigned OFN_NOREADONLYRETURN = 0x8000;

// Shows a modal open (bOpen) or save dialog. filter is "Text (*.EXT)|*.EXT||" pairs; each
// pattern matches both letter cases. A save dialog starts with the name in strPath and in its
// folder, an open dialog with no name in the current directory. F1 asks for help context
// 0x20000 + nHelpId. With OFN_PATHMUSTEXIST a name in a folder that does not exist is refused
// with a box and the dialog stays up. Returns 1 with the chosen full path in strPath, or 0 with
// strPath as it was.
int ChooseFileName(QWidget* parent, bool bOpen, const char* title, const char* filter,
                   const char* defaultExtension, unsigned flags, std::string& strPath, int nHelpId);
