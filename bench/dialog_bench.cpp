// Opening the periodic, theme sync and item dialogs over a Skins folder of 10,000 skins
// with 1,000 of them selected, through the development host's ShowLocalizedDialog.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_util.h"
#include "catalog/catalog.h"
#include "catalog/folder_listing.h"
#include "core/state.h"
#include "devhost/core/devhost.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

constexpr size_t kFolderEntries = 10000;
constexpr size_t kSelected = 1000;
constexpr int kRounds = 3;
constexpr double kGoalMs = 1000.0;

struct DialogCase {
    const char* name;
    INT_PTR (*show)();              // the plug-in's own way of showing it
    std::vector<int> skinControls;  // the controls the opening fills with skins
};

bool IsCombo(HWND dialog, int id) {
    wchar_t className[16] = {};
    GetClassNameW(GetDlgItem(dialog, id), className, 16);
    return std::wstring(className) == L"ComboBox";
}

// How the dialogs added their rows before: one message per row, the control redrawn
// and its storage grown as it goes.
void AddRowsOneByOne(HWND dialog, int id, const SkinList& skins) {
    const UINT add = IsCombo(dialog, id) ? CB_ADDSTRING : LB_ADDSTRING;
    for (const SkinEntry& entry : skins) {
        SendDlgItemMessageW(dialog, id, add, 0, reinterpret_cast<LPARAM>(entry.displayName.c_str()));
    }
}

// Rows the control shows now, as the skin list the dialog filled it from.
SkinList RowsOf(HWND dialog, int id) {
    const bool combo = IsCombo(dialog, id);
    const auto count = SendDlgItemMessageW(dialog, id, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    SkinList rows;
    for (LRESULT i = 0; i < count; ++i) {
        const auto length = SendDlgItemMessageW(dialog, id, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN,
                                                static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length < 0 ? 0 : length) + 1, L'\0');
        SendDlgItemMessageW(dialog, id, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(&text[0]));
        text.resize(static_cast<size_t>(length < 0 ? 0 : length));
        rows.push_back(SkinEntry{L"", text});
    }
    return rows;
}

// Refills the controls with their own rows, one way and the other; milliseconds of each.
void TimeFills(HWND dialog, const DialogCase& c, double* oneByOneMs, double* helperMs) {
    for (int id : c.skinControls) {
        const SkinList rows = RowsOf(dialog, id);
        const UINT reset = IsCombo(dialog, id) ? CB_RESETCONTENT : LB_RESETCONTENT;
        SendDlgItemMessageW(dialog, id, reset, 0, 0);
        double start = NowMs();
        AddRowsOneByOne(dialog, id, rows);
        *oneByOneMs += NowMs() - start;
        SendDlgItemMessageW(dialog, id, reset, 0, 0);
        start = NowMs();
        AddSkinRows(dialog, id, rows);
        *helperMs += NowMs() - start;
    }
}

struct Opening {
    double openMs = 0;      // as the dialog opens now
    double oneByOneMs = 0;  // its rows added one by one
    double helperMs = 0;    // its rows added by AddSkinRows
    size_t rows = 0;
};

// A selection as the settings load leaves it: identifiers only, every tenth skin of the
// folder, or names of skins deleted since.
void Select(const wchar_t* format) {
    ScopedLock guard(g_state.lock);
    g_state.settings.selectedSkins.clear();
    for (size_t i = 0; i < kSelected; ++i) {
        wchar_t name[32];
        swprintf(name, 32, format, static_cast<unsigned>(i * 10));
        g_state.settings.selectedSkins.push_back(SkinEntry{name, L""});
    }
}
void SelectEveryTenth() { Select(L"Skin %05u.tskin"); }
void SelectDeleted() { Select(L"Deleted %05u.tskin"); }

// The opening's purge of the selection, before (an existence test each) and after (one
// run, which reads the folder at the first missing skin); milliseconds and survivors.
double PurgeMs(bool eachName, size_t* kept) {
    std::vector<std::wstring> ids;
    {
        ScopedLock guard(g_state.lock);
        for (const SkinEntry& entry : g_state.settings.selectedSkins) ids.push_back(entry.identifier);
    }
    *kept = 0;
    ExistenceRun run;
    const double start = NowMs();
    for (const std::wstring& id : ids) {
        *kept += (eachName ? SkinExists(id) != 0 : SkinExistsInRun(run, id)) ? 1 : 0;
    }
    return NowMs() - start;
}

// One opening through the host's ShowLocalizedDialog. As the dialog is: the time from
// the call to the dialog's first posted message, that is the dialog made and
// initialised. With `timeFills`, the opened dialog's skin controls are then refilled
// both ways and timed.
Opening Open(const DialogCase& c, bool timeFills) {
    Opening o;
    double openedAt = 0;
    devhost::PushDialogScript([&](HWND dialog) {
        openedAt = NowMs();
        o.rows = RowsOf(dialog, c.skinControls.front()).size();
        if (timeFills) {
            ShowWindow(dialog, SW_HIDE);  // as during WM_INITDIALOG, where the fills run
            TimeFills(dialog, c, &o.oneByOneMs, &o.helperMs);
        }
        devhost::PressCancel(dialog);
    });
    const double start = NowMs();
    c.show();
    o.openMs = openedAt - start;
    return o;
}

}  // namespace

int main() {
    devhost::Init();
    ResetPluginState();
    g_state.moduleHandle = GetModuleHandleW(nullptr);
    g_state.hostTable = devhost::Table();
    g_state.hostAccepted = 1;
    g_state.pluginId = 1;
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.interval = 5;
    const std::wstring folder = MakeSkinsFolder(L"dialogs", kFolderEntries);
    devhost::SetSkinsFolder(folder);

    const DialogCase cases[] = {
        {"periodic settings dialog", [] { return ShowPeriodicSettingsDialog(nullptr); },
         {IDC_PERIODIC_ALL_LIST, IDC_PERIODIC_SELECTED_LIST}},
        {"theme sync settings dialog", [] { return ShowThemeSyncSettingsDialog(nullptr); },
         {IDC_THEME_LIGHT, IDC_THEME_DARK}},
        {"item behaviour dialog", [] { return ShowItemBehaviorDialog(nullptr, 7); }, {IDC_ITEM_SKIN}},
    };
    std::printf("Opening with 10,000 skins, 1,000 selected. Fills: the dialog's skin controls "
                "refilled in the\nopened dialog, hidden, row by row (before) and by AddSkinRows (after); "
                "before ms = after ms - fill after + fill before.\nLast row: the timed part is "
                "the purge of the selection, an existence test each (before) or one run (after).\n");
    std::printf("| %-28s | %12s | %12s | %12s | %12s | %-22s |\n", "dialog opened", "before ms",
                "after ms", "fill before", "fill after", "note");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(30, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(24, '-').c_str());
    bool pass = true;
    for (const DialogCase& c : cases) {
        std::vector<double> open, oneByOne, helper;
        size_t rows = 0;
        for (int i = 0; i < kRounds; ++i) {
            SelectEveryTenth();
            devhost::ClearLog();
            const Opening o = Open(c, false);
            open.push_back(o.openMs);
            rows = o.rows;
            SelectEveryTenth();
            const Opening timed = Open(c, true);
            oneByOne.push_back(timed.oneByOneMs);
            helper.push_back(timed.helperMs);
        }
        const double openMs = Median(open);
        const double before = openMs - Median(helper) + Median(oneByOne);
        char note[64];
        std::snprintf(note, sizeof note, "%zu rows; <= %.0f ms", rows, kGoalMs);
        std::printf("| %-28s | %12.1f | %12.1f | %12.1f | %12.1f | %-22s |\n", c.name, before,
                    openMs, Median(oneByOne), Median(helper), note);
        pass = pass && openMs <= kGoalMs && rows == kFolderEntries;
    }

    // The periodic dialog again, its 1,000 selected skins all deleted from the folder.
    SelectDeleted();
    size_t keptBefore = 0;
    size_t keptAfter = 0;
    const double purgeBefore = PurgeMs(true, &keptBefore);
    std::vector<double> purgeAfter;
    std::vector<double> open;
    for (int i = 0; i < kRounds; ++i) {
        purgeAfter.push_back(PurgeMs(false, &keptAfter));
        SelectDeleted();
        open.push_back(Open(cases[0], false).openMs);
        SelectDeleted();
    }
    const double openMs = Median(open);
    std::printf("| %-28s | %12.1f | %12.1f | %12.1f | %12.1f | %-22s |\n",
                "periodic, 1,000 sel. deleted", openMs - Median(purgeAfter) + purgeBefore, openMs,
                purgeBefore, Median(purgeAfter), "purge of the selection");
    pass = pass && openMs <= kGoalMs && keptBefore == 0 && keptAfter == 0;
    RemoveSkinsFolder(folder);
    return pass ? 0 : 1;
}
