// The plug-in's dialogs; each runs modally through the host's ShowLocalizedDialog.
//
// 1. The Show functions own each dialog's data for as long as the dialog is open and
//    return the host's result (1 for OK, 0 for Cancel and for the About box, 0 without
//    a host).
// 2. The procedures are what the host calls; they claim the data their Show function
//    registered (dialog_util.h), so they are of use only through the Show functions
//    (a procedure given no data answers OK and Cancel by closing, and stores nothing).
//    The initialisation parameter is the launcher's to see: 0, and for the item
//    dialog the event's parameter as it came.
#ifndef VARNEL_DIALOGS_H
#define VARNEL_DIALOGS_H

#include <windows.h>

#include <cstdint>

INT_PTR ShowAboutBox(HWND owner);
INT_PTR ShowMainSettingsDialog(HWND owner);
INT_PTR ShowPeriodicSettingsDialog(HWND owner);
INT_PTR ShowThemeSyncSettingsDialog(HWND owner);
// `param` as the launcher gave it; its low 32 bits are the item's id.
INT_PTR ShowItemBehaviorDialog(HWND owner, uint64_t param);

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MainSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PeriodicSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);
INT_PTR CALLBACK ThemeSyncSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                             LPARAM lParam);
INT_PTR CALLBACK ItemBehaviorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
