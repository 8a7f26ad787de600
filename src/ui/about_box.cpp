// The About box: the description and copyright lines of the plug-in's version resource.
//
// 1. The lines are read from the module file when the box opens; a file without them
//    leaves both empty.
// 2. OK, Esc and the close box end it with 0; it stores nothing.
#include "plugin/about.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct AboutData {};

void OpenAboutBox(HWND dialog, AboutData&) {
    PluginDescription record;
    if (BuildPluginDescription(&record)) {
        SetDlgItemTextW(dialog, IDC_ABOUT_DESCRIPTION, record.description);
        SetDlgItemTextW(dialog, IDC_ABOUT_COPYRIGHT, record.copyright);
    }
}

constexpr DialogKind<AboutData> kAboutBox = {IDD_ABOUT, AboutDialogProc, OpenAboutBox, nullptr,
                                             nullptr};

}  // namespace

INT_PTR ShowAboutBox(HWND owner) {
    AboutData data;
    return ShowDialog(kAboutBox, owner, 0, data);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return RunDialog(kAboutBox, dialog, message, wParam);
}
