// The periodic mode settings dialog: which skins the rotation visits, and when.
//
// 1. Opening shows the selected skins that are in the Skins folder, with their display
//    names, and changes nothing stored: a folder that is briefly unreachable (a share,
//    a removable drive) must not empty the user's list when the dialog is cancelled.
//    The rotation passes over missing skins by itself.
// 2. The dialog's data lives in the call that shows it: `shown`, the copy of allSkins
//    that filled the left list (Add takes its entries from there), and workingSkins,
//    the edited copy of the selection; row i of each list always shows entry i.
//    workingSkins may hold a skin more than once.
// 3. The list buttons are enabled by one rule (sent as a click of the "all skins"
//    button), and Remove/Up/Down by the right list's selection.
// 4. OK replaces the periodic settings, re-aligns the rotation and restarts the
//    schedule in one step under the lock, then saves. A unit box without a selected
//    row keeps the stored unit.
#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <utility>

#include "catalog/catalog.h"
#include "catalog/folder_listing.h"
#include "config/settings.h"
#include "engine/rotation.h"
#include "core/clock.h"
#include "core/host.h"
#include "core/state.h"
#include "engine/schedule.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct PeriodicDialogData {
    SkinList shown;
    SkinList workingSkins;
};

constexpr UINT kUnitStringIds[] = {IDS_UNIT_MINUTES, IDS_UNIT_HOURS, IDS_UNIT_DAYS};
// The unit box lists the units in their stored order: a row is a stored unit.
constexpr LRESULT kUnitDays = static_cast<LRESULT>(TimeUnit::kDays);
constexpr int kUnitTextCapacity = 1024;

LRESULT ListMessage(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageW(dialog, id, message, wParam, lParam);
}

LPARAM TextParam(const std::wstring& text) { return reinterpret_cast<LPARAM>(text.c_str()); }

// The entries of `selection` whose skins exist, with display names; both the existence
// test and the display name ask the host, so this runs on a copy, outside the lock.
SkinList ExistingSkins(SkinList selection) {
    SkinList kept;
    kept.reserve(selection.size());
    ExistenceRun run;
    for (SkinEntry& entry : selection) {
        if (!SkinExistsInRun(run, entry.identifier)) {
            continue;
        }
        if (entry.displayName.empty()) {
            entry.displayName = host::SkinDisplayName(entry.identifier);
        }
        kept.push_back(std::move(entry));
    }
    return kept;
}

void FillUnitBox(HWND dialog, TimeUnit unit) {
    for (UINT stringId : kUnitStringIds) {
        wchar_t text[kUnitTextCapacity] = {};
        host::LoadText(stringId, text, kUnitTextCapacity);
        ListMessage(dialog, IDC_PERIODIC_UNIT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    // A stored unit outside 0 to 2 selects nothing.
    ListMessage(dialog, IDC_PERIODIC_UNIT, CB_SETCURSEL,
                static_cast<WPARAM>(static_cast<INT_PTR>(unit)));
}

void SetUpTimePicker(HWND dialog, const Settings& settings) {
    ListMessage(dialog, IDC_PERIODIC_TIME, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(L"H:mm"));
    SYSTEMTIME time{};
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDay = 1;
    time.wHour = settings.changeHour;
    time.wMinute = settings.changeMinute;
    ListMessage(dialog, IDC_PERIODIC_TIME, DTM_SETSYSTEMTIME, GDT_VALID,
                reinterpret_cast<LPARAM>(&time));
}

void ApplyUnitRule(HWND dialog) {
    const bool days = ListMessage(dialog, IDC_PERIODIC_UNIT, CB_GETCURSEL) == kUnitDays;
    EnableControl(dialog, IDC_PERIODIC_TIME_LABEL, days);
    EnableControl(dialog, IDC_PERIODIC_TIME, days);
}

void ApplyEnablingRule(HWND dialog, const PeriodicDialogData& data) {
    static constexpr int kListControls[] = {IDC_PERIODIC_ADD,   IDC_PERIODIC_REMOVE,
                                            IDC_PERIODIC_UP,    IDC_PERIODIC_DOWN,
                                            IDC_PERIODIC_CLEAR, IDC_PERIODIC_ALL_LIST,
                                            IDC_PERIODIC_SELECTED_LIST};
    if (IsButtonChecked(dialog, IDC_PERIODIC_ALL)) {
        for (int id : kListControls) {
            EnableControl(dialog, id, false);
        }
        return;
    }
    const bool leftSelected = ListMessage(dialog, IDC_PERIODIC_ALL_LIST, LB_GETCURSEL) >= 0;
    EnableControl(dialog, IDC_PERIODIC_ADD, leftSelected);
    EnableControl(dialog, IDC_PERIODIC_CLEAR, !data.workingSkins.empty());
    SendCommandToSelf(dialog, IDC_PERIODIC_SELECTED_LIST, LBN_SELCHANGE);
    EnableControl(dialog, IDC_PERIODIC_ALL_LIST, true);
    EnableControl(dialog, IDC_PERIODIC_SELECTED_LIST, true);
}

void ApplySelectionRule(HWND dialog, const PeriodicDialogData& data, LRESULT s) {
    const auto n = static_cast<LRESULT>(data.workingSkins.size());
    EnableControl(dialog, IDC_PERIODIC_REMOVE, s >= 0);
    EnableControl(dialog, IDC_PERIODIC_UP, s > 0);
    EnableControl(dialog, IDC_PERIODIC_DOWN, s >= 0 && s < n - 1);
}

void RunEnablingRule(HWND dialog) { SendCommandToSelf(dialog, IDC_PERIODIC_ALL, 0); }

void OpenPeriodicDialog(HWND dialog, PeriodicDialogData& data) {
    Settings settings = CopySettings();
    const bool allSkins = settings.targetSkins == RotationList::kAllSkins;
    CheckRadioButton(dialog, IDC_PERIODIC_ALL, IDC_PERIODIC_SELECTED,
                     allSkins ? IDC_PERIODIC_ALL : IDC_PERIODIC_SELECTED);

    data.shown = RefreshedAllSkins();
    AddSkinRows(dialog, IDC_PERIODIC_ALL_LIST, data.shown);
    ListMessage(dialog, IDC_PERIODIC_ALL_LIST, LB_SETCURSEL, 0);

    data.workingSkins = ExistingSkins(std::move(settings.selectedSkins));
    AddSkinRows(dialog, IDC_PERIODIC_SELECTED_LIST, data.workingSkins);

    ListMessage(dialog, IDC_PERIODIC_INTERVAL, EM_LIMITTEXT, 3);
    ListMessage(dialog, IDC_PERIODIC_INTERVAL_SPIN, UDM_SETRANGE, 0, MAKELPARAM(999, 1));
    SetDlgItemInt(dialog, IDC_PERIODIC_INTERVAL, static_cast<UINT>(settings.interval), FALSE);

    FillUnitBox(dialog, settings.timeUnit);
    SetUpTimePicker(dialog, settings);

    RunEnablingRule(dialog);
    ApplyUnitRule(dialog);
}

void AddSkin(HWND dialog, PeriodicDialogData& data, LRESULT left) {
    if (left < 0 || static_cast<size_t>(left) >= data.shown.size()) {
        return;
    }
    const SkinEntry& entry = data.shown[static_cast<size_t>(left)];
    data.workingSkins.push_back(entry);
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_ADDSTRING, 0, TextParam(entry.displayName));
}

bool RemoveSkin(HWND dialog, PeriodicDialogData& data, LRESULT s) {
    const auto n = static_cast<LRESULT>(data.workingSkins.size());
    if (s < 0 || s >= n) {
        return false;
    }
    data.workingSkins.erase(data.workingSkins.begin() + s);
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_DELETESTRING, static_cast<WPARAM>(s));
    if (!data.workingSkins.empty()) {
        const LRESULT last = static_cast<LRESULT>(data.workingSkins.size()) - 1;
        ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_SETCURSEL,
                    static_cast<WPARAM>(s > last ? last : s));
    }
    return true;
}

// Swaps entries `upper` and `upper + 1` and rewrites their two rows; then selects
// `selectRow`.
void SwapAdjacent(HWND dialog, PeriodicDialogData& data, LRESULT upper, LRESULT selectRow) {
    const auto row = static_cast<size_t>(upper);
    std::swap(data.workingSkins[row], data.workingSkins[row + 1]);
    const auto rowParam = static_cast<WPARAM>(upper);
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_DELETESTRING, rowParam);
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_DELETESTRING, rowParam);
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_INSERTSTRING, rowParam,
                TextParam(data.workingSkins[row + 1].displayName));
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_INSERTSTRING, rowParam,
                TextParam(data.workingSkins[row].displayName));
    ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_SETCURSEL,
                static_cast<WPARAM>(selectRow));
}

void StorePeriodicSettings(HWND dialog, PeriodicDialogData& data) {
    const RotationList targetSkins = IsButtonChecked(dialog, IDC_PERIODIC_ALL)
                                         ? RotationList::kAllSkins
                                         : RotationList::kSelectedSkins;
    UINT typed = GetDlgItemInt(dialog, IDC_PERIODIC_INTERVAL, nullptr, FALSE);
    if (typed < 1) {
        typed = 1;
    }
    const UINT ceiling = static_cast<UINT>(INT_MAX);
    const auto interval = static_cast<int32_t>(typed > ceiling ? ceiling : typed);
    const LRESULT unitRow = ListMessage(dialog, IDC_PERIODIC_UNIT, CB_GETCURSEL);
    SYSTEMTIME time{};
    const bool timeValid = ListMessage(dialog, IDC_PERIODIC_TIME, DTM_GETSYSTEMTIME, 0,
                                       reinterpret_cast<LPARAM>(&time)) == GDT_VALID;

    SkinList selection = data.workingSkins;  // copied before anything changes
    const ClockReading now = ReadClocks();
    {
        ScopedLock guard(g_state.lock);
        g_state.settings.targetSkins = targetSkins;
        g_state.settings.selectedSkins.swap(selection);
        SyncRotationIndexLocked();
        g_state.settings.interval = interval;
        if (unitRow >= 0 && unitRow <= kUnitDays) {
            g_state.settings.timeUnit = static_cast<TimeUnit>(unitRow);
        }
        if (timeValid) {
            g_state.settings.changeHour = time.wHour;
            g_state.settings.changeMinute = time.wMinute;
        }
        StampScheduleLocked(ScheduleStart::kNow, now);
    }
    SaveSettings();
}

void HandlePeriodicCommand(HWND dialog, PeriodicDialogData& data, int id, WORD code) {
    const LRESULT left = ListMessage(dialog, IDC_PERIODIC_ALL_LIST, LB_GETCURSEL);
    const LRESULT s = ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_GETCURSEL);
    const auto n = static_cast<LRESULT>(data.workingSkins.size());
    switch (id) {
    case IDC_PERIODIC_ADD:
        AddSkin(dialog, data, left);
        RunEnablingRule(dialog);
        break;
    case IDC_PERIODIC_REMOVE:
        if (RemoveSkin(dialog, data, s)) {
            RunEnablingRule(dialog);
        }
        break;
    case IDC_PERIODIC_UP:
        if (n >= 2 && s >= 1 && s < n) {
            SwapAdjacent(dialog, data, s - 1, s - 1);
            RunEnablingRule(dialog);
        }
        break;
    case IDC_PERIODIC_DOWN:
        if (n >= 2 && s >= 0 && s <= n - 2) {
            SwapAdjacent(dialog, data, s, s + 1);
            RunEnablingRule(dialog);
        }
        break;
    case IDC_PERIODIC_CLEAR:
        if (!data.workingSkins.empty()) {
            data.workingSkins.clear();
            ListMessage(dialog, IDC_PERIODIC_SELECTED_LIST, LB_RESETCONTENT);
            RunEnablingRule(dialog);
        }
        break;
    case IDC_PERIODIC_ALL:
    case IDC_PERIODIC_SELECTED:
        if (code == BN_CLICKED) {
            ApplyEnablingRule(dialog, data);
        }
        break;
    case IDC_PERIODIC_SELECTED_LIST:
        if (code == LBN_SELCHANGE) {
            ApplySelectionRule(dialog, data, s);
        }
        break;
    case IDC_PERIODIC_UNIT:
        ApplyUnitRule(dialog);
        break;
    default:
        break;
    }
}

constexpr DialogKind<PeriodicDialogData> kPeriodicDialog = {
    IDD_PERIODIC_SETTINGS, PeriodicSettingsDialogProc, OpenPeriodicDialog, HandlePeriodicCommand,
    StorePeriodicSettings};

}  // namespace

INT_PTR ShowPeriodicSettingsDialog(HWND owner) {
    PeriodicDialogData data;
    return ShowDialog(kPeriodicDialog, owner, 0, data);
}

INT_PTR CALLBACK PeriodicSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return RunDialog(kPeriodicDialog, dialog, message, wParam);
}
