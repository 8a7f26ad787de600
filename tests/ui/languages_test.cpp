// Every settings dialog, opened in each language of the build that the host may pick.
#include "ui/dialog_test.h"

#include <algorithm>
#include <iterator>

#include "languages.h"

namespace {

struct Language {
    LANGID id;
    const wchar_t* mainTitle;
    const wchar_t* itemTitle;
    const wchar_t* periodicTitle;
    const wchar_t* themeTitle;
    const wchar_t* ok;
    const wchar_t* units[3];
};

const Language kLanguages[] = {
    {0x0000, L"Varnel Plugin Settings", L"Plugin Item Behavior", L"Periodic Mode Settings",
     L"Windows Theme Sync Settings", L"OK", {L"Minutes", L"Hours", L"Days"}},
    {0x000A, L"Configuración del plugin Varnel", L"Comportamiento del elemento del plugin",
     L"Configuración del modo periódico", L"Configuración de sincronización con el tema de Windows",
     L"Aceptar", {L"Minutos", L"Horas", L"Días"}},
    {0x0010, L"Impostazioni del plugin Varnel", L"Comportamento elemento plugin",
     L"Impostazioni modalità periodica", L"Impostazioni sincronizzazione tema Windows", L"OK",
     {L"Minuti", L"Ore", L"Giorni"}},
    {0x0011, L"Varnelプラグインの設定", L"プラグインアイテム実行時の動作", L"定期変更モードの設定",
     L"Windowsテーマ連動モードの設定", L"OK", {L"分", L"時間", L"日"}},
    {0x0012, L"Varnel 플러그인 설정", L"플러그인 항목 실행 시 동작", L"주기 변경 모드 설정",
     L"Windows 테마 연동 모드 설정", L"확인", {L"분", L"시간", L"일"}},
    {0x0019, L"Настройки плагина Varnel", L"Действие элемента плагина",
     L"Настройки периодического режима", L"Настройки синхронизации с темой Windows", L"ОК",
     {L"минут", L"часов", L"дней"}},
    {0x0404, L"Varnel 外掛程式設定", L"外掛項目執行時的動作", L"週期切換模式設定",
     L"Windows 主題連動模式設定", L"確定", {L"分鐘", L"小時", L"天"}},
    {0x0804, L"Varnel 插件设置", L"插件项执行时的操作", L"周期切换模式设置",
     L"Windows 主题联动模式设置", L"确定", {L"分钟", L"小时", L"天"}},
};

class LanguagesTest : public DialogTest {};

TEST_F(LanguagesTest, EachDialogShowsItsTitleAndOkButtonInTheHostsLanguage) {
    MakeSkins({L"Aurora", L"Basalt"});
    ASSERT_EQ(kResourceLanguageCount, std::size(kLanguages)) << "languages built against languages stated here";
    for (const ResourceLanguage& built : kResourceLanguages) {
        SCOPED_TRACE(testing::Message() << "language " << built.tag << " (0x" << std::hex << built.id << ")");
        const auto stated = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                         [&](const Language& l) { return l.id == built.id; });
        ASSERT_NE(std::end(kLanguages), stated) << "no texts stated for this language";
        const Language& language = *stated;
        devhost::SetLanguage(language.id);
        struct Dialog {
            UINT id;
            INT_PTR (*open)();
            const wchar_t* title;
        };
        const Dialog dialogs[] = {
            {IDD_MAIN_SETTINGS, [] { return ShowMainSettingsDialog(nullptr); }, language.mainTitle},
            {IDD_ITEM_BEHAVIOR, [] { return ShowItemBehaviorDialog(nullptr, 0); }, language.itemTitle},
            {IDD_PERIODIC_SETTINGS, [] { return ShowPeriodicSettingsDialog(nullptr); },
             language.periodicTitle},
            {IDD_THEME_SYNC_SETTINGS, [] { return ShowThemeSyncSettingsDialog(nullptr); },
             language.themeTitle},
        };
        for (const Dialog& dialog : dialogs) {
            SCOPED_TRACE(dialog.id);
            Show(dialog.open, [&](HWND dlg) {
                EXPECT_EQ(dialog.title, devhost::DialogTitle(dlg));
                EXPECT_EQ(language.ok, devhost::GetText(dlg, IDOK));
                if (dialog.id == IDD_PERIODIC_SETTINGS) {
                    EXPECT_EQ((Rows{language.units[0], language.units[1], language.units[2]}),
                              devhost::ComboRows(dlg, IDC_PERIODIC_UNIT));
                }
                devhost::PressCancel(dlg);
            });
        }
    }
}

}  // namespace
