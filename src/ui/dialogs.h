// The settings dialogs; each runs modally through the host's ShowLocalizedDialog.
#ifndef VARNEL_DIALOGS_H
#define VARNEL_DIALOGS_H

#include <windows.h>

INT_PTR CALLBACK MainSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PeriodicSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);
INT_PTR CALLBACK ThemeSyncSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                             LPARAM lParam);
INT_PTR CALLBACK ItemBehaviorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
