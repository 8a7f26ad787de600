// Localised strings and dialogs from this program's own resources (languages.rc), and
// dialog scripts driving them from inside their modal loops.
#include <windows.h>

#include <commctrl.h>

#include "test_ids.h"
#include "test_util.h"

namespace {

const HostServiceTable& T() { return *devhost::Table(); }
HMODULE Self() { return GetModuleHandleW(nullptr); }

constexpr LANGID kJapanese = 0x0411, kSpanish = 0x0C0A, kRussian = 0x0419, kGerman = 0x0407;

std::wstring LoadIn(LANGID language, UINT id, int capacity = 256) {
    devhost::SetLanguage(language);
    wchar_t buffer[256];
    wmemset(buffer, L'#', 256);
    T().LoadLocalizedString(Self(), id, buffer, capacity);
    return std::wstring(buffer, wcsnlen(buffer, 256));
}

struct Seen {
    LPARAM initParam = 0;
    std::vector<std::pair<int, int>> commands;  // control id, notification code
    int dateChanges = 0;
    INT_PTR subResult = -100;
    bool ignoreCancel = false;
};

INT_PTR CALLBACK SubProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dlg, LOWORD(wParam) == IDOK ? 7 : 8);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK SampleProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        reinterpret_cast<Seen*>(lParam)->initParam = lParam;
        for (const wchar_t* row : {L"one", L"two", L"three"}) {
            SendDlgItemMessageW(dlg, IDC_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
            SendDlgItemMessageW(dlg, IDC_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        }
        return TRUE;
    }
    auto* seen = reinterpret_cast<Seen*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (seen == nullptr) return FALSE;
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == DTN_DATETIMECHANGE) {
        ++seen->dateChanges;
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    seen->commands.emplace_back(id, HIWORD(wParam));
    if (id == IDOK) EndDialog(dlg, 10);
    if (id == IDCANCEL && !seen->ignoreCancel) EndDialog(dlg, 20);
    if (id == IDC_OPEN_SUB)
        seen->subResult = T().ShowLocalizedDialog(Self(), IDD_SUB, dlg, SubProc, 0);
    return TRUE;
}

INT_PTR ShowSample(Seen* seen) {
    return T().ShowLocalizedDialog(Self(), IDD_SAMPLE, nullptr, SampleProc, reinterpret_cast<LPARAM>(seen));
}

bool Saw(const Seen& seen, int id, int code) {
    for (const auto& command : seen.commands)
        if (command.first == id && command.second == code) return true;
    return false;
}

}  // namespace

using LocalizedStrings = HostTest;

TEST_F(LocalizedStrings, ExactLanguageElseNeutralElseWhateverExists) {
    struct Case { LANGID language; UINT id; std::wstring want; };
    const std::vector<Case> cases = {
        {0x0000, IDS_GREETING, L"Hello"},          {kJapanese, IDS_GREETING, L"こんにちは"},
        {kSpanish, IDS_GREETING, L"Hola"},         {kGerman, IDS_GREETING, L"Hello"},
        {kJapanese, IDS_ALPHABET, L""},  // the language is chosen per block of 16, and 200 has one
        {kRussian, IDS_ONLY_FOREIGN, L"Только по-русски"},
        {kJapanese, IDS_ONLY_FOREIGN, L"日本語だけ"},
        {kGerman, IDS_ONLY_FOREIGN, L"日本語だけ"},  // first listed: 0x0411 sorts before 0x0419
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("language " + std::to_string(c.language) + " string " + std::to_string(c.id));
        EXPECT_EQ(Show(c.want), Show(LoadIn(c.language, c.id)));
    }
}

TEST_F(LocalizedStrings, CapacityTruncatesAndTerminates) {
    EXPECT_EQ(Show(L"abc"), Show(LoadIn(0, IDS_ALPHABET, 4)));
    EXPECT_EQ(Show(L""), Show(LoadIn(0, IDS_ALPHABET, 1)));
    EXPECT_EQ(Show(L"abcdefghij"), Show(LoadIn(0, IDS_ALPHABET, 11)));
    wchar_t untouched[4] = {L'#', L'#', L'#', 0};
    EXPECT_EQ(0, T().LoadLocalizedString(Self(), IDS_ALPHABET, untouched, 0));
    EXPECT_EQ(0, T().LoadLocalizedString(Self(), IDS_ALPHABET, untouched, -5));
    EXPECT_STREQ(L"###", untouched);
    EXPECT_EQ(Show(L""), Show(LoadIn(0, IDS_EMPTY_SLOT))) << "undefined entry of an existing block";
    EXPECT_EQ(Show(L""), Show(LoadIn(0, 4000))) << "no such block";
    EXPECT_EQ(0, T().LoadLocalizedString(Self(), IDS_ALPHABET, nullptr, 10));
}

using Dialogs = HostTest;

TEST_F(Dialogs, ScriptRunsInsideTheDialogInTheHostLanguage) {
    devhost::SetLanguage(kJapanese);
    std::wstring title, label;
    devhost::PushDialogScript([&](HWND dlg) {
        title = devhost::DialogTitle(dlg);
        label = devhost::GetText(dlg, IDC_LABEL);
        devhost::PressOk(dlg);
    });
    Seen seen;
    EXPECT_EQ(10, ShowSample(&seen));
    EXPECT_EQ(reinterpret_cast<LPARAM>(&seen), seen.initParam) << "parameter reaches WM_INITDIALOG";
    EXPECT_EQ(Show(L"サンプル"), Show(title));
    EXPECT_EQ(Show(L"日本語のテキスト"), Show(label));
    EXPECT_TRUE(Saw(seen, IDOK, BN_CLICKED));
    EXPECT_EQ(0, devhost::DialogWatchdogFired());
}

TEST_F(Dialogs, HelpersActAsTheUserAndNestedDialogsTakeTheNextScript) {
    std::vector<std::wstring> list, combo;
    int listSel = -2, comboSel = -2;
    bool checked = false, disabledClick = true, enabled = false;
    std::wstring edit, subLabel;
    std::optional<SYSTEMTIME> time;
    devhost::PushDialogScript([&](HWND dlg) {
        list = devhost::ListRows(dlg, IDC_LIST);
        combo = devhost::ComboRows(dlg, IDC_COMBO);
        devhost::SelectListRow(dlg, IDC_LIST, 2);
        devhost::SelectComboRow(dlg, IDC_COMBO, 1);
        listSel = devhost::ListSelection(dlg, IDC_LIST);
        comboSel = devhost::ComboSelection(dlg, IDC_COMBO);
        devhost::Click(dlg, IDC_CHECK);
        checked = devhost::IsChecked(dlg, IDC_CHECK);
        enabled = devhost::IsEnabled(dlg, IDC_DISABLED);
        disabledClick = devhost::Click(dlg, IDC_DISABLED);
        devhost::SetText(dlg, IDC_EDIT, L"42");
        edit = devhost::GetText(dlg, IDC_EDIT);
        SYSTEMTIME st{};
        GetLocalTime(&st);
        st.wHour = 6, st.wMinute = 45, st.wSecond = 0, st.wMilliseconds = 0;
        devhost::SetDateTime(dlg, IDC_DATE, st);
        time = devhost::GetDateTime(dlg, IDC_DATE);
        devhost::Click(dlg, IDC_OPEN_SUB);  // returns once the sub-dialog's script closed it
        devhost::PressCancel(dlg);
    });
    devhost::PushDialogScript([&](HWND sub) {
        subLabel = devhost::GetText(sub, IDC_LABEL);
        devhost::PressOk(sub);
    });
    Seen seen;
    EXPECT_EQ(20, ShowSample(&seen));
    EXPECT_EQ(3u, list.size());
    EXPECT_EQ(3u, combo.size());
    EXPECT_EQ(2, listSel);
    EXPECT_EQ(1, comboSel);
    EXPECT_TRUE(Saw(seen, IDC_LIST, LBN_SELCHANGE));
    EXPECT_TRUE(Saw(seen, IDC_COMBO, CBN_SELCHANGE));
    EXPECT_TRUE(checked);
    EXPECT_TRUE(Saw(seen, IDC_CHECK, BN_CLICKED));
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(disabledClick);
    EXPECT_FALSE(Saw(seen, IDC_DISABLED, BN_CLICKED));
    EXPECT_EQ(L"42", edit);
    EXPECT_TRUE(Saw(seen, IDC_EDIT, EN_CHANGE));
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(6, time->wHour);
    EXPECT_EQ(45, time->wMinute);
    EXPECT_EQ(1, seen.dateChanges);
    EXPECT_EQ(Show(L"Sub text"), Show(subLabel));
    EXPECT_EQ(7, seen.subResult);
    EXPECT_EQ(0u, devhost::PendingDialogScripts());
    EXPECT_EQ(0, devhost::DialogWatchdogFired());
}

TEST_F(Dialogs, EscapeAndCloseBoxArriveAsCancel) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "escape");
        devhost::PushDialogScript([closeBox](HWND dlg) {
            closeBox ? devhost::PressCloseBox(dlg) : devhost::PressEscape(dlg);
        });
        Seen seen;
        EXPECT_EQ(20, ShowSample(&seen));
        EXPECT_TRUE(Saw(seen, IDCANCEL, BN_CLICKED));
    }
    EXPECT_EQ(0, devhost::DialogWatchdogFired());
}

TEST_F(Dialogs, WatchdogCancelsADialogNobodyScripted) {
    devhost::SetDialogWatchdog(200);
    Seen unscripted;
    EXPECT_EQ(20, ShowSample(&unscripted)) << "cancelled through the dialog's own Cancel";
    EXPECT_TRUE(Saw(unscripted, IDCANCEL, BN_CLICKED));
    EXPECT_EQ(1, devhost::DialogWatchdogFired());
}

TEST_F(Dialogs, WatchdogEndsADialogThatIgnoresCancelAfterItsScript) {
    devhost::SetDialogWatchdog(200);
    devhost::PushDialogScript([](HWND) {});  // leaves the dialog open
    Seen stubborn;
    stubborn.ignoreCancel = true;
    EXPECT_EQ(IDCANCEL, ShowSample(&stubborn)) << "ended by force";
    EXPECT_EQ(1, devhost::DialogWatchdogFired());
}

TEST_F(Dialogs, MissingDialogFailsAndKeepsItsScript) {
    devhost::PushDialogScript([](HWND dlg) { devhost::PressOk(dlg); });
    EXPECT_EQ(-1, T().ShowLocalizedDialog(Self(), 499, nullptr, SampleProc, 0));
    EXPECT_EQ(1u, devhost::PendingDialogScripts());
}
