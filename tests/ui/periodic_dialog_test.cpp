// The periodic mode settings dialog, driven as a user would.
#include "config/settings.h"
#include "engine/worker.h"
#include "support/time_util.h"
#include "ui/dialog_test.h"

#include <commctrl.h>

namespace {

constexpr int kListControls[] = {IDC_PERIODIC_ALL_LIST, IDC_PERIODIC_ADD,
                                 IDC_PERIODIC_REMOVE,   IDC_PERIODIC_UP,
                                 IDC_PERIODIC_DOWN,     IDC_PERIODIC_SELECTED_LIST,
                                 IDC_PERIODIC_CLEAR};

class PeriodicDialogTest : public DialogTest {
protected:
    static INT_PTR ShowPeriodic(const std::function<void(HWND)>& script) {
        return Show([] { return ShowPeriodicSettingsDialog(nullptr); }, script);
    }

    // Selected skins made of the given identifiers, display names left empty as a
    // load leaves them.
    static void SelectIds(const std::vector<std::wstring>& ids) {
        SkinList skins;
        for (const std::wstring& id : ids) {
            skins.push_back({id, L""});
        }
        SetSelectedSkins(skins);
    }

    // The enabled state of Remove, Up, Down and Clear, in that order.
    static std::vector<bool> EditButtons(HWND dlg) {
        return {devhost::IsEnabled(dlg, IDC_PERIODIC_REMOVE),
                devhost::IsEnabled(dlg, IDC_PERIODIC_UP),
                devhost::IsEnabled(dlg, IDC_PERIODIC_DOWN),
                devhost::IsEnabled(dlg, IDC_PERIODIC_CLEAR)};
    }

    static void Command(HWND dlg, int id) {
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
};

using Buttons = std::vector<bool>;

TEST_F(PeriodicDialogTest, OpeningWithAllSkinsShowsBothListsAndDisablesTheirControls) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    SelectIds({ids[2], ids[0]});
    g_state.settings.targetSkins = RotationList::kAllSkins;

    const INT_PTR result = ShowPeriodic([&](HWND dlg) {
        EXPECT_TRUE(devhost::IsChecked(dlg, IDC_PERIODIC_ALL));
        EXPECT_FALSE(devhost::IsChecked(dlg, IDC_PERIODIC_SELECTED));
        const SkinList all = AllSkinsNow();
        EXPECT_EQ(3u, all.size());
        EXPECT_EQ(DisplayNames(all), devhost::ListRows(dlg, IDC_PERIODIC_ALL_LIST));
        EXPECT_EQ(0, devhost::ListSelection(dlg, IDC_PERIODIC_ALL_LIST));
        EXPECT_EQ((Rows{L"Cobalt", L"Aurora"}), devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(-1, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        for (int id : kListControls) {
            SCOPED_TRACE(id);
            EXPECT_FALSE(devhost::IsEnabled(dlg, id));
        }
        devhost::PressCancel(dlg);
    });
    EXPECT_EQ(0, result);
}

TEST_F(PeriodicDialogTest, OpeningWithSelectedSkinsEnablesAddAndClearButNotTheRowButtons) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    struct Case {
        std::vector<std::wstring> selected;
        bool clear;
    };
    for (const Case& c : {Case{{ids[0], ids[1]}, true}, Case{{}, false}}) {
        SCOPED_TRACE(c.selected.size());
        SelectIds(c.selected);
        ShowPeriodic([&](HWND dlg) {
            EXPECT_TRUE(devhost::IsChecked(dlg, IDC_PERIODIC_SELECTED));
            EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_ALL_LIST));
            EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_SELECTED_LIST));
            EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_ADD));
            EXPECT_EQ((Buttons{false, false, false, c.clear}), EditButtons(dlg));
            devhost::PressCancel(dlg);
        });
    }
}

TEST_F(PeriodicDialogTest, UnreachableSkinsFolderShowsNoRowsAndCancelKeepsTheList) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    // A share or a removable drive that is away for a moment.
    devhost::SetSkinsFolder(skins_ + L"\\away");
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.rotationIndex = 2;
    SelectIds(ids);
    const INT_PTR result = ShowPeriodic([&](HWND dlg) {
        EXPECT_EQ(Rows{}, devhost::ListRows(dlg, IDC_PERIODIC_ALL_LIST));
        EXPECT_EQ(Rows{}, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_FALSE(devhost::IsEnabled(dlg, IDC_PERIODIC_ADD));
        EXPECT_EQ((Buttons{false, false, false, false}), EditButtons(dlg));
        Command(dlg, IDC_PERIODIC_ADD);  // nothing to add from
        EXPECT_EQ(Rows{}, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        devhost::PressCancel(dlg);
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(ids, Identifiers(SelectedSkinsNow()));
    EXPECT_EQ(2, g_state.settings.rotationIndex);
    EXPECT_EQ(0, devhost::CommitCount());

    // OK stores what the dialog showed: the user saw an empty list and confirmed it.
    ShowPeriodic([&](HWND dlg) { devhost::PressOk(dlg); });
    EXPECT_EQ(Rows{}, Identifiers(SelectedSkinsNow()));
    EXPECT_EQ(1, devhost::CommitCount());
}

TEST_F(PeriodicDialogTest, AddAppendsDuplicatesAndOkStoresIdentifiersNotDisplayNames) {
    MakeSkins({L"Aurora", L"Basalt"});
    const std::wstring dune = devhost::MakeFolderSkin(skins_, L"Dune");
    g_state.settings.targetSkins = RotationList::kSelectedSkins;

    const INT_PTR result = ShowPeriodic([&](HWND dlg) {
        const Rows left = devhost::ListRows(dlg, IDC_PERIODIC_ALL_LIST);
        const int duneRow = RowOf(left, L"Dune");
        const int auroraRow = RowOf(left, L"Aurora");
        ASSERT_GE(duneRow, 0);
        ASSERT_GE(auroraRow, 0);
        devhost::SelectListRow(dlg, IDC_PERIODIC_ALL_LIST, duneRow);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_ADD));
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_ADD));
        devhost::SelectListRow(dlg, IDC_PERIODIC_ALL_LIST, auroraRow);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_ADD));
        EXPECT_EQ((Rows{L"Dune", L"Dune", L"Aurora"}),
                  devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        // Adding moves neither selection.
        EXPECT_EQ(auroraRow, devhost::ListSelection(dlg, IDC_PERIODIC_ALL_LIST));
        EXPECT_EQ(-1, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ((Buttons{false, false, false, true}), EditButtons(dlg));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, result);
    const SkinList stored = SelectedSkinsNow();
    EXPECT_EQ((Rows{dune, dune, L"Aurora.tskin"}), Identifiers(stored));
    EXPECT_EQ((Rows{L"Dune", L"Dune", L"Aurora"}), DisplayNames(stored));
    EXPECT_EQ(RotationList::kSelectedSkins, g_state.settings.targetSkins);
    EXPECT_EQ(std::optional<std::wstring>(dune),
              devhost::GetSettingString(1, L"SelectedSkins", SelectedSkinKey(1)));
    EXPECT_EQ(std::optional<std::wstring>(L"Aurora.tskin"),
              devhost::GetSettingString(1, L"SelectedSkins", SelectedSkinKey(3)));
}

TEST_F(PeriodicDialogTest, RemoveKeepsTheRowSelectedOrMovesToTheNewLastRow) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    SelectIds(ids);

    ShowPeriodic([&](HWND dlg) {
        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 1);
        EXPECT_EQ((Buttons{true, true, true, true}), EditButtons(dlg));
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_REMOVE));
        EXPECT_EQ((Rows{L"Aurora", L"Cobalt"}), devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(1, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ((Buttons{true, true, false, true}), EditButtons(dlg));

        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_REMOVE));  // the last row
        EXPECT_EQ(Rows{L"Aurora"}, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(0, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ((Buttons{true, false, false, true}), EditButtons(dlg)) << "a single entry";

        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_REMOVE));
        EXPECT_EQ(Rows{}, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(-1, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ((Buttons{false, false, false, false}), EditButtons(dlg));
        devhost::PressOk(dlg);
    });
    EXPECT_TRUE(SelectedSkinsNow().empty());
}

TEST_F(PeriodicDialogTest, RemoveFromThreeWithTheLastRowSelectedSelectsRowOne) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    SelectIds(ids);
    ShowPeriodic([&](HWND dlg) {
        Command(dlg, IDC_PERIODIC_REMOVE);  // no row selected: nothing happens
        EXPECT_EQ(3u, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST).size());
        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 2);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_REMOVE));
        EXPECT_EQ((Rows{L"Aurora", L"Basalt"}), devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(1, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ((Rows{ids[0], ids[1]}), Identifiers(SelectedSkinsNow()));
}

TEST_F(PeriodicDialogTest, UpAndDownMoveTheSelectedSkinAndItsSelection) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt", L"Diorite", L"Ember"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    SelectIds(ids);

    ShowPeriodic([&](HWND dlg) {
        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 0);
        EXPECT_EQ((Buttons{true, false, true, true}), EditButtons(dlg)) << "first row";
        Command(dlg, IDC_PERIODIC_UP);  // not allowed on row 0
        EXPECT_EQ(L"Aurora", devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST).front());

        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 4);
        EXPECT_EQ((Buttons{true, true, false, true}), EditButtons(dlg)) << "last row";
        Command(dlg, IDC_PERIODIC_DOWN);  // not allowed on the last row
        EXPECT_EQ(L"Ember", devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST).back());

        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 3);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_UP));
        EXPECT_EQ((Rows{L"Aurora", L"Basalt", L"Diorite", L"Cobalt", L"Ember"}),
                  devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(2, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));

        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 0);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_DOWN));
        EXPECT_EQ((Rows{L"Basalt", L"Aurora", L"Diorite", L"Cobalt", L"Ember"}),
                  devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ(1, devhost::ListSelection(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ((Buttons{true, true, true, true}), EditButtons(dlg));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ((Rows{ids[1], ids[0], ids[3], ids[2], ids[4]}), Identifiers(SelectedSkinsNow()));
}

TEST_F(PeriodicDialogTest, ClearEmptiesTheSelectionAndDisablesItsButtons) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    SelectIds({ids[0], ids[1], ids[0]});
    ShowPeriodic([&](HWND dlg) {
        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 1);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_CLEAR));
        EXPECT_EQ(Rows{}, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        EXPECT_EQ((Buttons{false, false, false, false}), EditButtons(dlg));
        EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_ADD));
        devhost::PressOk(dlg);
    });
    EXPECT_TRUE(SelectedSkinsNow().empty());
    EXPECT_EQ(std::optional<int32_t>(0), devhost::GetSettingInt(1, L"SelectedSkins", L"Count"));
}

TEST_F(PeriodicDialogTest, ChoosingAllSkinsKeepsTheRowsAndOkStillStoresTheSelection) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    SelectIds({ids[1], ids[0]});
    ShowPeriodic([&](HWND dlg) {
        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 0);
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_ALL));
        for (int id : kListControls) {
            SCOPED_TRACE(id);
            EXPECT_FALSE(devhost::IsEnabled(dlg, id));
        }
        EXPECT_EQ((Rows{L"Basalt", L"Aurora"}), devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));

        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_SELECTED));
        EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_ADD));
        EXPECT_EQ((Buttons{true, false, true, true}), EditButtons(dlg)) << "row 0 still selected";
        EXPECT_TRUE(devhost::Click(dlg, IDC_PERIODIC_ALL));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(RotationList::kAllSkins, g_state.settings.targetSkins);
    EXPECT_EQ((Rows{ids[1], ids[0]}), Identifiers(SelectedSkinsNow()));
    EXPECT_EQ(std::optional<int32_t>(0), devhost::GetSettingInt(1, L"TimeMode", L"TargetSkins"));
}

TEST_F(PeriodicDialogTest, TimeOfDayIsEnabledExactlyWhileTheUnitIsDays) {
    struct Case {
        int32_t unit;
        bool enabled;
    };
    for (const Case& c : {Case{0, false}, Case{1, false}, Case{2, true}}) {
        SCOPED_TRACE(c.unit);
        g_state.settings.timeUnit = static_cast<TimeUnit>(c.unit);
        ShowPeriodic([&](HWND dlg) {
            EXPECT_EQ((Rows{L"Minutes", L"Hours", L"Days"}),
                      devhost::ComboRows(dlg, IDC_PERIODIC_UNIT));
            EXPECT_EQ(c.unit, devhost::ComboSelection(dlg, IDC_PERIODIC_UNIT));
            EXPECT_EQ(c.enabled, devhost::IsEnabled(dlg, IDC_PERIODIC_TIME_LABEL));
            EXPECT_EQ(c.enabled, devhost::IsEnabled(dlg, IDC_PERIODIC_TIME));
            devhost::SelectComboRow(dlg, IDC_PERIODIC_UNIT, 2);
            EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_TIME_LABEL));
            EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_PERIODIC_TIME));
            devhost::SelectComboRow(dlg, IDC_PERIODIC_UNIT, 1);
            EXPECT_FALSE(devhost::IsEnabled(dlg, IDC_PERIODIC_TIME_LABEL));
            EXPECT_FALSE(devhost::IsEnabled(dlg, IDC_PERIODIC_TIME));
            devhost::SelectComboRow(dlg, IDC_PERIODIC_UNIT, 0);
            devhost::PressOk(dlg);
        });
        EXPECT_EQ(TimeUnit::kMinutes, g_state.settings.timeUnit);
    }
}

TEST_F(PeriodicDialogTest, UnitBoxWithoutASelectionKeepsTheStoredUnit) {
    g_state.settings.timeUnit = static_cast<TimeUnit>(7);
    ShowPeriodic([&](HWND dlg) {
        EXPECT_EQ(-1, devhost::ComboSelection(dlg, IDC_PERIODIC_UNIT));
        EXPECT_FALSE(devhost::IsEnabled(dlg, IDC_PERIODIC_TIME));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(7, static_cast<int32_t>(g_state.settings.timeUnit));
    EXPECT_EQ(std::optional<int32_t>(7), devhost::GetSettingInt(1, L"TimeMode", L"TimeUnit"));
}

TEST_F(PeriodicDialogTest, IntervalBoxStoresWhatWasTypedAndNeverLessThanOne) {
    struct Case {
        const wchar_t* text;
        int32_t stored;
    };
    for (const Case& c : {Case{L"", 1}, Case{L"0", 1}, Case{L"7", 7}, Case{L"042", 42},
                          Case{L"999", 999}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        g_state.settings.interval = 5;
        ShowPeriodic([&](HWND dlg) {
            EXPECT_EQ(L"5", devhost::GetText(dlg, IDC_PERIODIC_INTERVAL));
            devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, c.text);
            devhost::PressOk(dlg);
        });
        EXPECT_EQ(c.stored, g_state.settings.interval);
        EXPECT_EQ(std::optional<int32_t>(c.stored),
                  devhost::GetSettingInt(1, L"TimeMode", L"Interval"));
    }
}

TEST_F(PeriodicDialogTest, IntervalBoxTakesThreeDigitsAndTheSpinStaysWithinOneTo999) {
    g_state.settings.interval = 5;
    ShowPeriodic([&](HWND dlg) {
        HWND edit = GetDlgItem(dlg, IDC_PERIODIC_INTERVAL);
        EXPECT_EQ(3, SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
        SendMessageW(edit, EM_SETSEL, 0, -1);
        for (wchar_t digit : std::wstring(L"1234")) {
            SendMessageW(edit, WM_CHAR, digit, 1);
        }
        EXPECT_EQ(L"123", devhost::GetText(dlg, IDC_PERIODIC_INTERVAL));
        int low = 0;
        int high = 0;
        SendDlgItemMessageW(dlg, IDC_PERIODIC_INTERVAL_SPIN, UDM_GETRANGE32,
                            reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(1, low);
        EXPECT_EQ(999, high);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(123, g_state.settings.interval);
}

TEST_F(PeriodicDialogTest, StoredIntervalAbove999IsShownWholeAndKeptWhenUntouched) {
    g_state.settings.interval = 5000;
    ShowPeriodic([&](HWND dlg) {
        EXPECT_EQ(L"5000", devhost::GetText(dlg, IDC_PERIODIC_INTERVAL));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(5000, g_state.settings.interval);
}

TEST_F(PeriodicDialogTest, TimePickerShowsTheStoredTimeOfDay) {
    struct Case {
        uint16_t hour;
        uint16_t minute;
        const wchar_t* shown;
    };
    for (const Case& c : {Case{7, 5, L"7:05"}, Case{14, 30, L"14:30"}, Case{0, 0, L"0:00"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.shown)));
        g_state.settings.changeHour = c.hour;
        g_state.settings.changeMinute = c.minute;
        ShowPeriodic([&](HWND dlg) {
            EXPECT_EQ(c.shown, devhost::GetText(dlg, IDC_PERIODIC_TIME));
            const std::optional<SYSTEMTIME> time = devhost::GetDateTime(dlg, IDC_PERIODIC_TIME);
            ASSERT_TRUE(time.has_value());
            EXPECT_EQ(c.hour, time->wHour);
            EXPECT_EQ(c.minute, time->wMinute);
            devhost::PressCancel(dlg);
        });
    }
}

TEST_F(PeriodicDialogTest, PickedTimeIsStoredWhateverTheUnit) {
    g_state.settings.timeUnit = TimeUnit::kMinutes;
    g_state.settings.changeHour = 7;
    g_state.settings.changeMinute = 5;
    ShowPeriodic([&](HWND dlg) {
        SYSTEMTIME time{};
        time.wYear = 2000;
        time.wMonth = 1;
        time.wDay = 1;
        time.wHour = 21;
        time.wMinute = 45;
        EXPECT_TRUE(devhost::SetDateTime(dlg, IDC_PERIODIC_TIME, time));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(21, g_state.settings.changeHour);
    EXPECT_EQ(45, g_state.settings.changeMinute);
    EXPECT_EQ(TimeUnit::kMinutes, g_state.settings.timeUnit);
    EXPECT_EQ(std::optional<int32_t>(21), devhost::GetSettingInt(1, L"TimeMode", L"ChangeHour"));
}

TEST_F(PeriodicDialogTest, StoredTimeOutOfRangeNeverReachesTheSettings) {
    g_state.settings.changeHour = 30;
    g_state.settings.changeMinute = 99;
    ShowPeriodic([&](HWND dlg) { devhost::PressOk(dlg); });
    EXPECT_LT(g_state.settings.changeHour, 24);
    EXPECT_LT(g_state.settings.changeMinute, 60);
}

TEST_F(PeriodicDialogTest, OpeningShowsTheExistingSkinsWithNamesAndChangesNothingStored) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    // A file the host does not take for a skin still exists, and shows as an empty row.
    const std::wstring plain = L"notes.txt";
    HANDLE file = CreateFileW((skins_ + L"\\" + plain).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.rotationIndex = 3;
    const SkinList stored = {{ids[0], L""},      {L"Gone.tskin", L"Gone"}, {L"\\Vanished", L""},
                             {ids[1], L"Kept Name"}, {plain, L""},           {L"", L""}};
    SetSelectedSkins(stored);
    const Rows shown = {L"Aurora", L"Kept Name", L""};

    const INT_PTR result = ShowPeriodic([&](HWND dlg) {
        EXPECT_EQ(shown, devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        devhost::PressCancel(dlg);
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(Identifiers(stored), Identifiers(SelectedSkinsNow()));
    EXPECT_EQ(DisplayNames(stored), DisplayNames(SelectedSkinsNow()));
    EXPECT_EQ(3, g_state.settings.rotationIndex);
    EXPECT_EQ(0, devhost::CommitCount());

    ShowPeriodic([&](HWND dlg) { devhost::PressOk(dlg); });
    const SkinList kept = SelectedSkinsNow();
    EXPECT_EQ((Rows{ids[0], ids[1], plain}), Identifiers(kept));
    EXPECT_EQ(shown, DisplayNames(kept));
}

TEST_F(PeriodicDialogTest, OkResynchronisesRestartsTheScheduleAndSaves) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.timeUnit = TimeUnit::kMinutes;
    g_state.settings.rotationIndex = 0;
    SelectIds({ids[0], ids[1]});
    {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin = ids[2];
        g_state.lastSwitchStamp = 0;
    }
    ShowPeriodic([&](HWND dlg) {
        const int cobalt = RowOf(devhost::ListRows(dlg, IDC_PERIODIC_ALL_LIST), L"Cobalt");
        devhost::SelectListRow(dlg, IDC_PERIODIC_ALL_LIST, cobalt);
        devhost::Click(dlg, IDC_PERIODIC_ADD);
        devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, L"15");
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(2, g_state.settings.rotationIndex) << "Cobalt, the requested skin, is now entry 2";
    {
        ScopedLock guard(g_state.lock);
        EXPECT_NE(0, g_state.lastSwitchStamp) << "minutes mode restarts from now";
    }
    EXPECT_EQ(1, devhost::CommitCount());
    EXPECT_EQ(std::optional<int32_t>(15), devhost::GetSettingInt(1, L"TimeMode", L"Interval"));
    EXPECT_EQ(std::optional<int32_t>(2), devhost::GetSettingInt(1, L"TimeMode", L"Index"));
    EXPECT_EQ(std::optional<int32_t>(3), devhost::GetSettingInt(1, L"SelectedSkins", L"Count"));
}

TEST_F(PeriodicDialogTest, OkWhileThemeSyncIsInForceStoresButDoesNotRestart) {
    g_state.settings.changeMode = ChangeMode::kThemeSync;
    g_state.settings.timeUnit = TimeUnit::kMinutes;
    ShowPeriodic([&](HWND dlg) {
        devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, L"9");
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(9, g_state.settings.interval);
    EXPECT_EQ(1, devhost::CommitCount());
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(0, g_state.lastSwitchStamp);
}

// A worker tick may fall anywhere in OK, here at its reading of the clock: it sees the
// old unit with the old schedule, or the new ones with the restart, never the new unit
// measured against the old schedule.
TEST_F(PeriodicDialogTest, WorkerTickDuringOkNeverSeesHalfTheChange) {
    constexpr int64_t kDayNs = 86'400'000'000'000;
    struct Case {
        const char* name;
        TimeUnit storedUnit;
        int64_t stampNs;         // the minutes schedule's start
        SYSTEMTIME nextChange;   // the days schedule's due moment
        int unitRow;             // the unit chosen in the dialog
    };
    const Case cases[] = {
        // A week of minutes have passed since the stamp, and the day is not yet due.
        {"days to minutes", TimeUnit::kDays, 0, LocalTime(2026, 3, 4, 0, 0), 0},
        // The minutes schedule has just restarted, and an old day's moment has passed.
        {"minutes to days", TimeUnit::kMinutes, 7 * kDayNs, LocalTime(2026, 3, 1, 0, 0), 2},
    };
    MakeSkins({L"Aurora", L"Basalt"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testclock::Install(7 * kDayNs, LocalTime(2026, 3, 3, 10, 0));
        g_state.settings.changeMode = ChangeMode::kPeriodic;
        g_state.settings.targetSkins = RotationList::kAllSkins;
        g_state.settings.timeUnit = c.storedUnit;
        g_state.settings.interval = 5;
        {
            ScopedLock guard(g_state.lock);
            g_state.lastSwitchStamp = c.stampNs;
            g_state.nextChangeTime = c.nextChange;
            g_state.nextChangeValid = true;
        }
        const int appliedBefore = devhost::ApplySkinCount();
        ShowPeriodic([&](HWND dlg) {
            devhost::SelectComboRow(dlg, IDC_PERIODIC_UNIT, c.unitRow);
            testclock::OnNextRead([] { WorkerTick(); });
            devhost::PressOk(dlg);
        });
        EXPECT_FALSE(testclock::StepPending()) << "OK read no clock";
        WorkerTick();  // the first tick after OK counts from OK
        EXPECT_EQ(0, g_state.switchPending.load());
        EXPECT_EQ(appliedBefore, devhost::ApplySkinCount()) << "a switch was requested";
    }
}

TEST_F(PeriodicDialogTest, CancelStoresNothing) {
    const auto ids = MakeSkins({L"Aurora", L"Basalt"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    g_state.settings.interval = 4;
    g_state.settings.timeUnit = TimeUnit::kHours;
    g_state.settings.changeHour = 6;
    g_state.settings.changeMinute = 15;
    g_state.settings.rotationIndex = 1;
    SelectIds({ids[0], ids[1]});

    const INT_PTR result = ShowPeriodic([&](HWND dlg) {
        devhost::SelectListRow(dlg, IDC_PERIODIC_SELECTED_LIST, 0);
        devhost::Click(dlg, IDC_PERIODIC_DOWN);
        devhost::Click(dlg, IDC_PERIODIC_ADD);
        devhost::Click(dlg, IDC_PERIODIC_ALL);
        devhost::SetText(dlg, IDC_PERIODIC_INTERVAL, L"77");
        devhost::SelectComboRow(dlg, IDC_PERIODIC_UNIT, 2);
        SYSTEMTIME time{2000, 1, 0, 1, 23, 59, 0, 0};
        devhost::SetDateTime(dlg, IDC_PERIODIC_TIME, time);
        devhost::PressCancel(dlg);
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(RotationList::kSelectedSkins, g_state.settings.targetSkins);
    EXPECT_EQ(4, g_state.settings.interval);
    EXPECT_EQ(TimeUnit::kHours, g_state.settings.timeUnit);
    EXPECT_EQ(6, g_state.settings.changeHour);
    EXPECT_EQ(15, g_state.settings.changeMinute);
    EXPECT_EQ(1, g_state.settings.rotationIndex);
    EXPECT_EQ((Rows{ids[0], ids[1]}), Identifiers(SelectedSkinsNow()));
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(PeriodicDialogTest, CommandsReachingTheDialogAfterOkAreIgnored) {
    MakeSkins({L"Aurora"});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    ShowPeriodic([&](HWND dlg) {
        devhost::PressOk(dlg);
        // The window outlives EndDialog until the modal loop returns.
        for (int id : {IDC_PERIODIC_ADD, IDC_PERIODIC_CLEAR, IDC_PERIODIC_ALL, IDOK, IDCANCEL}) {
            Command(dlg, id);
        }
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_PERIODIC_SELECTED_LIST, LBN_SELCHANGE), 0);
    });
    EXPECT_EQ(1, devhost::CommitCount());
    EXPECT_TRUE(SelectedSkinsNow().empty());
}

TEST_F(PeriodicDialogTest, AddTakesTheShownEntryWhileAnEnumerationReplacesTheList) {
    FreezeAllSkins({{L"B.tskin", L"Bee"}, {L"A.tskin", L"Ay"}});
    g_state.settings.targetSkins = RotationList::kSelectedSkins;
    ShowPeriodic([&](HWND dlg) {
        EXPECT_EQ((Rows{L"Bee", L"Ay"}), devhost::ListRows(dlg, IDC_PERIODIC_ALL_LIST));
        devhost::SelectListRow(dlg, IDC_PERIODIC_ALL_LIST, 1);
        devhost::Click(dlg, IDC_PERIODIC_ADD);
        for (const SkinList& replaced : {SkinList{}, SkinList{{L"Z.tskin", L"Zed"}, {L"Y.tskin", L"Why"}}}) {
            SCOPED_TRACE(replaced.size());
            {
                ScopedLock guard(g_state.lock);
                g_state.allSkins = replaced;
            }
            devhost::Click(dlg, IDC_PERIODIC_ADD);
        }
        EXPECT_EQ((Rows{L"Ay", L"Ay", L"Ay"}), devhost::ListRows(dlg, IDC_PERIODIC_SELECTED_LIST));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ((Rows{L"A.tskin", L"A.tskin", L"A.tskin"}), Identifiers(SelectedSkinsNow()));
}

}  // namespace
