// The two dialogs that pick single skins: theme sync settings and an item's behaviour.
#include "ui/dialog_test.h"

namespace {

// Skins in a fixed order, with look-alike identifiers: the same skin twice, and one
// that differs from another only in letter case.
const SkinList kFrozenSkins = {{L"Aurora.tskin", L"Aurora"},
                               {L"Basalt.tskin", L"Basalt"},
                               {L"\\Cobalt", L"Cobalt"},
                               {L"Basalt.tskin", L"Basalt again"},
                               {L"dune.tskin", L"dune"}};

class ThemeDialogTest : public DialogTest {
protected:
    static INT_PTR ShowTheme(const std::function<void(HWND)>& script) {
        return Show([] { return ShowThemeSyncSettingsDialog(nullptr); }, script);
    }
    static void SetThemeSkins(const std::wstring& light, const std::wstring& dark) {
        ScopedLock guard(g_state.lock);
        g_state.settings.lightThemeSkin = light;
        g_state.settings.darkThemeSkin = dark;
    }
    static std::pair<std::wstring, std::wstring> ThemeSkins() {
        ScopedLock guard(g_state.lock);
        return {g_state.settings.lightThemeSkin, g_state.settings.darkThemeSkin};
    }
};

using SkinPair = std::pair<std::wstring, std::wstring>;

TEST_F(ThemeDialogTest, BoxesPreselectTheStoredSkinsTheLastMatchAndOtherwiseTheFirst) {
    FreezeAllSkins(kFrozenSkins);
    struct Case {
        const wchar_t* light;
        const wchar_t* dark;
        int lightRow;
        int darkRow;
    };
    for (const Case& c : {Case{L"\\Cobalt", L"", 2, 0},
                          Case{L"Basalt.tskin", L"dune.tskin", 3, 4},
                          Case{L"DUNE.TSKIN", L"cobalt", 0, 0},
                          Case{L"Aurora.tskin", L"\\Cobalt", 0, 2},
                          Case{L"Gone.tskin", L"\\Cobalt\\", 0, 0}}) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(c.light)) << " / "
                                        << testing::PrintToString(std::wstring(c.dark)));
        SetThemeSkins(c.light, c.dark);
        ShowTheme([&](HWND dlg) {
            EXPECT_EQ(DisplayNames(kFrozenSkins), devhost::ComboRows(dlg, IDC_THEME_LIGHT));
            EXPECT_EQ(DisplayNames(kFrozenSkins), devhost::ComboRows(dlg, IDC_THEME_DARK));
            EXPECT_EQ(c.lightRow, devhost::ComboSelection(dlg, IDC_THEME_LIGHT));
            EXPECT_EQ(c.darkRow, devhost::ComboSelection(dlg, IDC_THEME_DARK));
            devhost::PressCancel(dlg);
        });
        EXPECT_EQ(SkinPair(c.light, c.dark), ThemeSkins()) << "Cancel stores nothing";
    }
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(ThemeDialogTest, OkStoresTheIdentifiersOfTheChosenRowsAndSaves) {
    MakeSkins({L"Aurora", L"Basalt"});
    const std::wstring cobalt = devhost::MakeFolderSkin(skins_, L"Cobalt");
    SetThemeSkins(L"Basalt.tskin", L"Gone.tskin");
    const INT_PTR result = ShowTheme([&](HWND dlg) {
        const Rows rows = devhost::ComboRows(dlg, IDC_THEME_LIGHT);
        EXPECT_EQ(DisplayNames(AllSkinsNow()), rows);
        EXPECT_EQ(RowOf(rows, L"Basalt"), devhost::ComboSelection(dlg, IDC_THEME_LIGHT));
        EXPECT_EQ(0, devhost::ComboSelection(dlg, IDC_THEME_DARK));
        devhost::SelectComboRow(dlg, IDC_THEME_LIGHT, RowOf(rows, L"Cobalt"));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, result);
    // The dark box showed the first skin for a missing one; OK stores that skin.
    const std::wstring first = AllSkinsNow().at(0).identifier;
    EXPECT_EQ(SkinPair(cobalt, first), ThemeSkins());
    EXPECT_EQ(1, devhost::CommitCount());
    EXPECT_EQ(std::optional<std::wstring>(cobalt),
              devhost::GetSettingString(1, L"ThemeSync", L"LightTheme"));
    EXPECT_EQ(std::optional<std::wstring>(first),
              devhost::GetSettingString(1, L"ThemeSync", L"DarkTheme"));
}

TEST_F(ThemeDialogTest, BothThemesMayTakeTheSameSkin) {
    FreezeAllSkins(kFrozenSkins);
    ShowTheme([&](HWND dlg) {
        devhost::SelectComboRow(dlg, IDC_THEME_LIGHT, 2);
        devhost::SelectComboRow(dlg, IDC_THEME_DARK, 2);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(SkinPair(L"\\Cobalt", L"\\Cobalt"), ThemeSkins());
}

TEST_F(ThemeDialogTest, EmptySkinsFolderKeepsTheStoredSkinsAndStillSaves) {
    SetThemeSkins(L"Aurora.tskin", L"\\Cobalt");
    const INT_PTR result = ShowTheme([&](HWND dlg) {
        EXPECT_EQ(Rows{}, devhost::ComboRows(dlg, IDC_THEME_LIGHT));
        EXPECT_EQ(-1, devhost::ComboSelection(dlg, IDC_THEME_DARK));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(SkinPair(L"Aurora.tskin", L"\\Cobalt"), ThemeSkins());
    EXPECT_EQ(1, devhost::CommitCount());
    EXPECT_EQ(std::optional<std::wstring>(L"\\Cobalt"),
              devhost::GetSettingString(1, L"ThemeSync", L"DarkTheme"));
}

class ItemDialogTest : public DialogTest {
protected:
    static INT_PTR ShowItem(LPARAM param, const std::function<void(HWND)>& script) {
        return Show([param] { return ShowItemBehaviorDialog(nullptr, static_cast<uint64_t>(param)); }, script);
    }
};

TEST_F(ItemDialogTest, NewItemPicksTheNextSkinWithTheBoxDisabledOnTheFirstSkin) {
    MakeSkins({L"Aurora", L"Basalt"});
    const INT_PTR result = ShowItem(4, [&](HWND dlg) {
        EXPECT_TRUE(devhost::IsChecked(dlg, IDC_ITEM_NEXT));
        EXPECT_FALSE(devhost::IsChecked(dlg, IDC_ITEM_SPECIFIED));
        EXPECT_FALSE(devhost::IsEnabled(dlg, IDC_ITEM_SKIN));
        EXPECT_EQ(DisplayNames(AllSkinsNow()), devhost::ComboRows(dlg, IDC_ITEM_SKIN));
        EXPECT_EQ(0, devhost::ComboSelection(dlg, IDC_ITEM_SKIN));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(std::optional<int32_t>(0), devhost::GetItemParamInt(4, 0));
    EXPECT_EQ(std::optional<std::wstring>(AllSkinsNow().at(0).identifier),
              devhost::GetItemParamString(4, 0));
    EXPECT_EQ(0, devhost::CommitCount());
}

TEST_F(ItemDialogTest, StoredBehaviourOtherThanZeroShowsTheSpecifiedSkinAndStoresOne) {
    MakeSkins({L"Aurora", L"Basalt", L"Cobalt"});
    for (int32_t stored : {1, 2, -3}) {
        SCOPED_TRACE(stored);
        devhost::SetItemParam(6, 0, stored);
        devhost::SetItemParam(6, 0, std::wstring(L"Cobalt.tskin"));
        ShowItem(6, [&](HWND dlg) {
            EXPECT_TRUE(devhost::IsChecked(dlg, IDC_ITEM_SPECIFIED));
            EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_ITEM_SKIN));
            const Rows rows = devhost::ComboRows(dlg, IDC_ITEM_SKIN);
            EXPECT_EQ(RowOf(rows, L"Cobalt"), devhost::ComboSelection(dlg, IDC_ITEM_SKIN));
            devhost::PressOk(dlg);
        });
        EXPECT_EQ(std::optional<int32_t>(1), devhost::GetItemParamInt(6, 0));
        EXPECT_EQ(std::optional<std::wstring>(L"Cobalt.tskin"), devhost::GetItemParamString(6, 0));
    }
}

TEST_F(ItemDialogTest, RadioButtonsToggleTheBoxAndItsChoiceIsStoredEitherWay) {
    FreezeAllSkins(kFrozenSkins);
    ShowItem(2, [&](HWND dlg) {
        EXPECT_TRUE(devhost::Click(dlg, IDC_ITEM_SPECIFIED));
        EXPECT_TRUE(devhost::IsEnabled(dlg, IDC_ITEM_SKIN));
        devhost::SelectComboRow(dlg, IDC_ITEM_SKIN, 2);
        EXPECT_TRUE(devhost::Click(dlg, IDC_ITEM_NEXT));
        EXPECT_FALSE(devhost::IsEnabled(dlg, IDC_ITEM_SKIN));
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(std::optional<int32_t>(0), devhost::GetItemParamInt(2, 0));
    EXPECT_EQ(std::optional<std::wstring>(L"\\Cobalt"), devhost::GetItemParamString(2, 0));
}

TEST_F(ItemDialogTest, PreselectionTakesTheLastExactMatchOrElseTheFirstSkin) {
    FreezeAllSkins(kFrozenSkins);
    struct Case {
        const wchar_t* stored;  // null: nothing stored
        int row;
    };
    for (const Case& c : {Case{L"Basalt.tskin", 3}, Case{L"Dune.tskin", 0}, Case{L"\\cobalt", 0},
                          Case{L"Gone.tskin", 0}, Case{L"", 0}, Case{nullptr, 0}}) {
        SCOPED_TRACE(c.stored ? testing::PrintToString(std::wstring(c.stored)) : "null");
        devhost::ClearItemParams(3);
        if (c.stored != nullptr) {
            devhost::SetItemParam(3, 0, std::wstring(c.stored));
        }
        ShowItem(3, [&](HWND dlg) {
            EXPECT_EQ(c.row, devhost::ComboSelection(dlg, IDC_ITEM_SKIN));
            devhost::PressCancel(dlg);
        });
        EXPECT_FALSE(devhost::GetItemParamInt(3, 0).has_value()) << "Cancel stores nothing";
    }
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_SET_ITEM_PARAM_INT));
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_SET_ITEM_PARAM_STRING));
}

TEST_F(ItemDialogTest, EmptySkinsFolderStoresTheBehaviourButNotASkin) {
    devhost::SetItemParam(8, 0, std::wstring(L"Aurora.tskin"));
    ShowItem(8, [&](HWND dlg) {
        EXPECT_EQ(Rows{}, devhost::ComboRows(dlg, IDC_ITEM_SKIN));
        EXPECT_EQ(-1, devhost::ComboSelection(dlg, IDC_ITEM_SKIN));
        devhost::Click(dlg, IDC_ITEM_SPECIFIED);
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(std::optional<int32_t>(1), devhost::GetItemParamInt(8, 0));
    EXPECT_EQ(std::optional<std::wstring>(L"Aurora.tskin"), devhost::GetItemParamString(8, 0));
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_SET_ITEM_PARAM_STRING));
}

TEST_F(ItemDialogTest, CommandsReachingTheDialogAfterItEndedAreIgnored) {
    FreezeAllSkins(kFrozenSkins);
    ShowItem(5, [&](HWND dlg) {
        devhost::PressCancel(dlg);
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_ITEM_SPECIFIED, BN_CLICKED), 0);
    });
    EXPECT_FALSE(devhost::GetItemParamInt(5, 0).has_value());
    EXPECT_EQ(0u, devhost::CallCount(TS_SLOT_SET_ITEM_PARAM_INT));
}

TEST_F(ItemDialogTest, OkTakesTheChosenRowsFromTheListShownEvenWhenAllSkinsWasReplaced) {
    const auto replaceAllSkins = [] {
        ScopedLock guard(g_state.lock);
        g_state.allSkins = {{L"Other.tskin", L"Other"}};
    };
    FreezeAllSkins(kFrozenSkins);
    ShowItem(5, [&](HWND dlg) {
        devhost::Click(dlg, IDC_ITEM_SPECIFIED);
        devhost::SelectComboRow(dlg, IDC_ITEM_SKIN, 2);
        replaceAllSkins();
        devhost::PressOk(dlg);
    });
    EXPECT_EQ(std::optional<std::wstring>(L"\\Cobalt"), devhost::GetItemParamString(5, 0));

    FreezeAllSkins(kFrozenSkins);
    Show([] { return ShowThemeSyncSettingsDialog(nullptr); }, [&](HWND dlg) {
        devhost::SelectComboRow(dlg, IDC_THEME_LIGHT, 4);
        devhost::SelectComboRow(dlg, IDC_THEME_DARK, 1);
        replaceAllSkins();
        devhost::PressOk(dlg);
    });
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(L"dune.tskin", g_state.settings.lightThemeSkin);
    EXPECT_EQ(L"Basalt.tskin", g_state.settings.darkThemeSkin);
}

}  // namespace
