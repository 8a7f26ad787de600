// Reads every resource of the plug-in back from this program's own module, into
// which the resource object is linked, and checks it against an independent
// statement of what the plug-in and its host rely on:
// 1. which ids exist and in which languages (dialogs 103-106 and strings 120-123
//    in eight languages; the icon, About box and version resource neutral only);
// 2. every dialog template in every language: header, font, and each control's
//    id, class, style and text, in template order;
// 3. the geometry every layout must keep, whatever its coordinates: each control
//    inside its dialog, and no two controls on top of each other unless the layout
//    means it (listed by name below);
// 4. that every template builds a live dialog whose controls have those texts and
//    classes (the common controls included);
// 5. the string table, the version resource and the icon's eight 32-bit images.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "devhost/core/text_file.h"
#include "resource.h"
#include "varnel_version.h"

namespace {

enum Lang { kNeutral, kSpanish, kItalian, kJapanese, kKorean, kRussian, kTradChinese,
            kSimpChinese, kLangCount };

struct Language {
    WORD id;
    const char* name;
};

const std::array<Language, kLangCount> kLanguages = {{
    {0x0000, "neutral"},
    {0x000A, "Spanish"},
    {0x0010, "Italian"},
    {0x0011, "Japanese"},
    {0x0012, "Korean"},
    {0x0019, "Russian"},
    {0x0404, "Traditional Chinese"},
    {0x0804, "Simplified Chinese"},
}};

bool IsCjk(int lang) {
    return lang == kJapanese || lang == kKorean || lang == kTradChinese || lang == kSimpChinese;
}

std::string LangTrace(int lang) {
    char buf[64];
    snprintf(buf, sizeof buf, "language %s (0x%04X)", kLanguages[lang].name,
             static_cast<unsigned>(kLanguages[lang].id));
    return buf;
}

// Texts of one control in every language, in the order of kLanguages.
using Texts = std::array<const wchar_t*, kLangCount>;

const Texts kNoText = {L"", L"", L"", L"", L"", L"", L"", L""};

// Every text of dialogs 103-106 and strings 120-123, language by language.
const Texts kOk = {
    L"OK", L"Aceptar", L"OK", L"OK", L"확인", L"ОК", L"確定", L"确定"};
const Texts kCancel = {
    L"Cancel", L"Cancelar", L"Annulla", L"キャンセル", L"취소", L"Отмена", L"取消", L"取消"};
const Texts kMainTitle = {
    L"Varnel Plugin Settings", L"Configuración del plugin Varnel",
    L"Impostazioni del plugin Varnel", L"Varnelプラグインの設定", L"Varnel 플러그인 설정",
    L"Настройки плагина Varnel", L"Varnel 外掛程式設定", L"Varnel 插件设置"};
const Texts kMainPeriodic = {
    L"Switch skins &periodically", L"Cambiar skins &periódicamente",
    L"Cambia le skin &periodicamente", L"定期的にスキンを変更する(&P)", L"주기적으로 스킨을 변경(&P)",
    L"Сменять скины &периодически", L"按週期切換皮膚(&P)", L"按周期切换皮肤(&P)"};
const Texts kMainPeriodicSettings = {
    L"&Settings...", L"&Configurar...", L"&Impostazioni...", L"設定(&S)...", L"설정(&S)...",
    L"&Настройки...", L"設定(&S)...", L"设置(&S)..."};
const Texts kMainThemeSync = {
    L"Switch skins in sync with Windows &theme", L"Cambiar skins según el &tema de Windows",
    L"Cambia le skin in base al &tema di Windows", L"Windowsのテーマに連動してスキンを変更する(&T)",
    L"Windows 테마에 맞춰 스킨을 변경(&T)", L"Сменять скины в соответствии с &темой Windows",
    L"依 Windows 主題切換皮膚(&T)", L"根据 Windows 主题切换皮肤(&T)"};
const Texts kMainThemeSettings = {
    L"S&ettings...", L"C&onfigurar...", L"I&mpostazioni...", L"設定(&E)...", L"설정(&E)...",
    L"Н&астройки...", L"設定(&E)...", L"设置(&E)..."};
const Texts kItemTitle = {
    L"Plugin Item Behavior", L"Comportamiento del elemento del plugin",
    L"Comportamento elemento plugin", L"プラグインアイテム実行時の動作", L"플러그인 항목 실행 시 동작",
    L"Действие элемента плагина", L"外掛項目執行時的動作", L"插件项执行时的操作"};
const Texts kItemNext = {
    L"Switch to the &next skin in the sequence", L"Cambiar al &siguiente skin de la secuencia",
    L"Passa alla skin &successiva", L"スキンを順番に切り替える(&N)", L"스킨을 순서대로 변경(&N)",
    L"Переключить на с&ледующий скин в списке", L"依序切換皮膚(&N)", L"按顺序切换皮肤(&N)"};
const Texts kItemSpecified = {
    L"Switch to the &specified skin", L"Cambiar al skin &especificado",
    L"Passa alla skin &specificata", L"指定したスキンに切り替える(&S)", L"지정한 스킨으로 변경(&S)",
    L"Переключить на &указанный скин", L"切換至指定的皮膚(&S)", L"切换到指定的皮肤(&S)"};
const Texts kPeriodicTitle = {
    L"Periodic Mode Settings", L"Configuración del modo periódico",
    L"Impostazioni modalità periodica", L"定期変更モードの設定", L"주기 변경 모드 설정",
    L"Настройки периодического режима", L"週期切換模式設定", L"周期切换模式设置"};
const Texts kPeriodicSkinsGroup = {
    L"Skins to switch", L"Skins para cambiar", L"Skin da cambiare", L"切り替え対象のスキン", L"변경할 스킨",
    L"Скины для смены", L"要切換的皮膚", L"切换的皮肤"};
const Texts kPeriodicAll = {
    L"All skins in the Skins &folder", L"&Todos los skins de la carpeta Skins",
    L"Tutte le skin nella cartella S&kins", L"Skinsフォルダー内にある全てのスキン(&F)", L"Skins 폴더의 모든 스킨(&F)",
    L"&Все скины в папке Skins", L"Skins 資料夾中的所有皮膚(&F)", L"Skins 文件夹中的所有皮肤(&F)"};
const Texts kPeriodicSelected = {
    L"&Selected skins", L"&Skins seleccionados", L"Skin &selezionate", L"選択したスキン(&S)",
    L"선택한 스킨(&S)", L"В&ыбранные скины", L"選取的皮膚(&S)", L"选中的皮肤(&S)"};
const Texts kPeriodicAdd = {
    L"&Add >>", L"&Agregar >>", L"&Aggiungi >>", L"追加(&A) >>", L"추가(&A) >>", L"&Добавить >>",
    L"新增(&A) >>", L"添加(&A) >>"};
const Texts kPeriodicRemove = {
    L"<< &Remove", L"<< &Quitar", L"<< &Rimuovi", L"<< 削除(&R)", L"<< 삭제(&R)", L"<< &Удалить",
    L"<< 刪除(&R)", L"<< 删除(&R)"};
const Texts kPeriodicUp = {
    L"&Up", L"S&ubir", L"S&u", L"上へ(&U)", L"위로(&U)", L"Вв&ерх", L"上移(&U)", L"上移(&U)"};
const Texts kPeriodicDown = {
    L"&Down", L"&Bajar", L"&Giù", L"下へ(&D)", L"아래로(&D)", L"&Вниз", L"下移(&D)", L"下移(&D)"};
const Texts kPeriodicClear = {
    L"&Clear", L"&Limpiar", L"&Cancella", L"クリア(&C)", L"지우기(&C)", L"&Очистить", L"清除(&C)",
    L"清除(&C)"};
const Texts kPeriodicTimingGroup = {
    L"Switch timing", L"Momento del cambio", L"Intervallo di cambio", L"切り替えのタイミング", L"변경 시간",
    L"Время смены", L"切換時間", L"切换时间"};
const Texts kPeriodicEvery = {
    L"Every", L"Cada", L"Ogni", L"毎", L"매", L"Каждые", L"每", L"每"};
const Texts kPeriodicTime = {
    L"Switch &Time:", L"&Hora de cambio:", L"&Ora cambio:", L"切り替え時刻(&T):", L"변경 시각(&T):",
    L"Время с&мены:", L"切換時間(&T):", L"切换时间(&T):"};
const Texts kThemeTitle = {
    L"Windows Theme Sync Settings", L"Configuración de sincronización con el tema de Windows",
    L"Impostazioni sincronizzazione tema Windows", L"Windowsテーマ連動モードの設定",
    L"Windows 테마 연동 모드 설정", L"Настройки синхронизации с темой Windows", L"Windows 主題連動模式設定",
    L"Windows 主题联动模式设置"};
const Texts kThemeLight = {
    L"Skin for &Light theme:", L"Skin para tema &claro:", L"Skin per tema &chiaro:",
    L"ライトテーマの時のスキン(&L):", L"라이트 테마일 때의 스킨(&L):", L"Скин для &светлой темы:", L"淺色主題時的皮膚(&L):",
    L"浅色主题时的皮肤(&L):"};
const Texts kThemeDark = {
    L"Skin for &Dark theme:", L"Skin para tema &oscuro:", L"Skin per tema s&curo:",
    L"ダークテーマの時のスキン(&D):", L"다크 테마일 때의 스킨(&D):", L"Скин для &тёмной темы:", L"深色主題時的皮膚(&D):",
    L"深色主题时的皮肤(&D):"};
const Texts kCaption = {
    L"Switch Skin", L"Cambiar skin", L"Cambia skin", L"スキン変更", L"스킨 변경", L"Смена скина",
    L"切換皮膚", L"切换皮肤"};
const Texts kMinutes = {
    L"Minutes", L"Minutos", L"Minuti", L"分", L"분", L"минут", L"分鐘", L"分钟"};
const Texts kHours = {
    L"Hours", L"Horas", L"Ore", L"時間", L"시간", L"часов", L"小時", L"小时"};
const Texts kDays = {
    L"Days", L"Días", L"Giorni", L"日", L"일", L"дней", L"天", L"天"};

const DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
static_assert(WS_POPUP + WS_CAPTION + WS_SYSMENU + DS_MODALFRAME + DS_CENTER + DS_SETFONT ==
                  0x80C808C0, "the dialogs' style word");

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kRadio = kChild | WS_TABSTOP | BS_AUTORADIOBUTTON;
const DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
const DWORD kDefPush = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
const DWORD kGroupBox = kChild | BS_GROUPBOX;
const DWORD kLabelLeft = kChild | WS_GROUP | SS_LEFT;
const DWORD kLabelRight = kChild | WS_GROUP | SS_RIGHT;
const DWORD kCentredLine = kChild | WS_GROUP | SS_CENTER;
const DWORD kList = kChild | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
const DWORD kDropList = kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
const DWORD kNumberEdit = kChild | WS_TABSTOP | WS_BORDER | ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL;
const DWORD kSpin = kChild | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS |
                    UDS_NOTHOUSANDS;
const DWORD kTimePicker = kChild | WS_TABSTOP | DTS_TIMEFORMAT | DTS_RIGHTALIGN;

const DWORD kNoId = 0xFFFFFFFF;  // IDC_STATIC (-1) as the template's 32-bit id

struct Control {
    DWORD id;
    const wchar_t* cls;  // the class as the window manager registers it
    DWORD style;
    const Texts* text;
};

struct Dialog {
    WORD id;
    short cx, cy;
    const Texts* title;
    std::vector<Control> controls;
};

Dialog MainSettings() {
    return {IDD_MAIN_SETTINGS, 281, 125, &kMainTitle, {
        {1101, L"Button", kRadio, &kMainPeriodic},
        {1103, L"Button", kPush, &kMainPeriodicSettings},
        {1102, L"Button", kRadio, &kMainThemeSync},
        {1104, L"Button", kPush, &kMainThemeSettings},
        {IDOK, L"Button", kDefPush, &kOk},
        {IDCANCEL, L"Button", kPush, &kCancel},
    }};
}

Dialog ItemBehavior() {
    return {IDD_ITEM_BEHAVIOR, 257, 104, &kItemTitle, {
        {1401, L"Button", kRadio, &kItemNext},
        {1402, L"Button", kRadio, &kItemSpecified},
        {1403, L"ComboBox", kDropList, &kNoText},
        {IDOK, L"Button", kDefPush, &kOk},
        {IDCANCEL, L"Button", kPush, &kCancel},
    }};
}

Dialog PeriodicSettings(int lang) {
    Dialog d{IDD_PERIODIC_SETTINGS, 425, 290, &kPeriodicTitle, {
        {kNoId, L"Button", kGroupBox, &kPeriodicSkinsGroup},
        {1201, L"Button", kRadio, &kPeriodicAll},
        {1202, L"Button", kRadio, &kPeriodicSelected},
        {1203, L"ListBox", kList, &kNoText},
        {1204, L"Button", kPush, &kPeriodicAdd},
        {1205, L"Button", kPush, &kPeriodicRemove},
        {1206, L"Button", kPush, &kPeriodicUp},
        {1207, L"Button", kPush, &kPeriodicDown},
        {1208, L"ListBox", kList, &kNoText},
        {1209, L"Button", kPush, &kPeriodicClear},
        {kNoId, L"Button", kGroupBox, &kPeriodicTimingGroup},
    }};
    // The languages that put the number and unit before "every" move the label
    // after the unit box and close up the row.
    auto add = [&d](const Control& c) { d.controls.push_back(c); };
    if (IsCjk(lang)) {
        add({1210, L"Edit", kNumberEdit, &kNoText});
        add({1211, L"msctls_updown32", kSpin, &kNoText});
        add({1212, L"ComboBox", kDropList, &kNoText});
        add({kNoId, L"Static", kLabelLeft, &kPeriodicEvery});
        add({1213, L"Static", kLabelRight, &kPeriodicTime});
        add({1214, L"SysDateTimePick32", kTimePicker, &kNoText});
    } else {
        add({kNoId, L"Static", kLabelRight, &kPeriodicEvery});
        add({1210, L"Edit", kNumberEdit, &kNoText});
        add({1211, L"msctls_updown32", kSpin, &kNoText});
        add({1212, L"ComboBox", kDropList, &kNoText});
        add({1213, L"Static", kLabelRight, &kPeriodicTime});
        add({1214, L"SysDateTimePick32", kTimePicker, &kNoText});
    }
    add({IDOK, L"Button", kDefPush, &kOk});
    add({IDCANCEL, L"Button", kPush, &kCancel});
    return d;
}

Dialog ThemeSyncSettings() {
    return {IDD_THEME_SYNC_SETTINGS, 240, 116, &kThemeTitle, {
        {kNoId, L"Static", kLabelLeft, &kThemeLight},
        {1301, L"ComboBox", kDropList, &kNoText},
        {kNoId, L"Static", kLabelLeft, &kThemeDark},
        {1302, L"ComboBox", kDropList, &kNoText},
        {IDOK, L"Button", kDefPush, &kOk},
        {IDCANCEL, L"Button", kPush, &kCancel},
    }};
}

std::vector<Dialog> LocalizedDialogs(int lang) {
    return {MainSettings(), ItemBehavior(), PeriodicSettings(lang), ThemeSyncSettings()};
}

const Texts kAboutTitle = {L"About Tessera Varnel Plugin", L"", L"", L"", L"", L"", L"", L""};

Dialog AboutBox() {
    return {IDD_ABOUT, 200, 72, &kAboutTitle, {
        {1001, L"Static", kCentredLine, &kNoText},
        {1002, L"Static", kCentredLine, &kNoText},
        {IDOK, L"Button", kDefPush, &kOk},
    }};
}

std::string DialogTrace(const Dialog& dialog) {
    return "dialog " + std::to_string(dialog.id) + " \"" + devhost::Utf8((*dialog.title)[kNeutral]) +
           "\"";
}

HMODULE Module() { return GetModuleHandleW(nullptr); }

struct Blob {
    const BYTE* data = nullptr;
    size_t size = 0;
};

Blob FindBlob(LPCWSTR type, WORD id, WORD lang) {
    HRSRC info = FindResourceExW(Module(), type, MAKEINTRESOURCEW(id), lang);
    if (!info) return {};
    HGLOBAL handle = LoadResource(Module(), info);
    if (!handle) return {};
    return {static_cast<const BYTE*>(LockResource(handle)), SizeofResource(Module(), info)};
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) {
    reinterpret_cast<std::set<WORD>*>(param)->insert(lang);
    return TRUE;
}

std::set<WORD> LanguagesOf(LPCWSTR type, WORD id) {
    std::set<WORD> found;
    EnumResourceLanguagesW(Module(), type, MAKEINTRESOURCEW(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&found));
    return found;
}

// Named resources are collected as 0, which no expected id uses.
BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    reinterpret_cast<std::set<WORD>*>(param)->insert(
        IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)) : WORD{0});
    return TRUE;
}

std::set<WORD> NamesOf(LPCWSTR type) {
    std::set<WORD> found;
    EnumResourceNamesW(Module(), type, CollectName, reinterpret_cast<LONG_PTR>(&found));
    return found;
}

std::set<WORD> AllLanguageIds() {
    std::set<WORD> ids;
    for (const Language& l : kLanguages) ids.insert(l.id);
    return ids;
}

// Bounds-checked reader of a resource; a read past the end yields zeros and
// clears ok, so a malformed template fails the test instead of crashing it.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= size_; }

    uint16_t Word() {
        uint16_t v = 0;
        Read(&v, sizeof v);
        return v;
    }
    uint32_t DWord() {
        uint32_t v = 0;
        Read(&v, sizeof v);
        return v;
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    uint8_t Byte() {
        uint8_t v = 0;
        Read(&v, sizeof v);
        return v;
    }
    void AlignDWord() { pos_ = (pos_ + 3) & ~size_t{3}; }
    void Skip(size_t n) {
        if (n > size_ - std::min(pos_, size_)) ok_ = false;
        pos_ += n;
    }
    std::wstring String() {
        std::wstring s;
        for (uint16_t c = Word(); c != 0 && ok_; c = Word()) s.push_back(static_cast<wchar_t>(c));
        return s;
    }
    // A name or an ordinal: ordinals come back as "#n", none as "".
    std::wstring NameOrOrdinal() {
        uint16_t first = Word();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring s(1, static_cast<wchar_t>(first));
        return s + String();
    }

private:
    void Read(void* out, size_t n) {
        if (!ok_ || pos_ > size_ || size_ - pos_ < n) {
            ok_ = false;
            return;
        }
        memcpy(out, data_ + pos_, n);
        pos_ += n;
    }
    const BYTE* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

struct ParsedControl {
    DWORD exStyle, style, id;
    short x, y, cx, cy;
    std::wstring cls, text;
};

struct ParsedDialog {
    WORD version = 0, signature = 0;
    DWORD exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, cls, title, face;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0;
    std::vector<ParsedControl> controls;
    bool ok = false;
};

ParsedDialog ParseDialog(const Blob& blob) {
    ParsedDialog d;
    Reader r(blob.data, blob.size);
    d.version = r.Word();
    d.signature = r.Word();
    if (d.version != 1 || d.signature != 0xFFFF) return d;  // not a DLGTEMPLATEEX
    r.DWord();  // help id
    d.exStyle = r.DWord();
    d.style = r.DWord();
    WORD count = r.Word();
    d.x = r.Short();
    d.y = r.Short();
    d.cx = r.Short();
    d.cy = r.Short();
    d.menu = r.NameOrOrdinal();
    d.cls = r.NameOrOrdinal();
    d.title = r.String();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.Word();
        d.weight = r.Word();
        d.italic = r.Byte();
        r.Byte();  // character set
        d.face = r.String();
    }
    for (WORD i = 0; i < count && r.ok(); ++i) {
        r.AlignDWord();
        ParsedControl c{};
        r.DWord();  // help id
        c.exStyle = r.DWord();
        c.style = r.DWord();
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = r.DWord();
        c.cls = r.NameOrOrdinal();
        c.text = r.NameOrOrdinal();
        r.Skip(r.Word());  // creation data
        d.controls.push_back(c);
    }
    d.ok = r.ok();
    return d;
}

// The predefined classes stand in templates as ordinals, any other class by name;
// the window manager compares class names without regard to case.
bool SameClass(const std::wstring& actual, const wchar_t* expected) {
    static const struct { const wchar_t* ordinal; const wchar_t* name; } kPredefined[] = {
        {L"#128", L"Button"}, {L"#129", L"Edit"},      {L"#130", L"Static"},
        {L"#131", L"ListBox"}, {L"#132", L"ScrollBar"}, {L"#133", L"ComboBox"},
    };
    std::wstring name = actual;
    for (const auto& p : kPredefined) {
        if (actual == p.ordinal) name = p.name;
    }
    return CompareStringOrdinal(name.c_str(), -1, expected, -1, TRUE) == CSTR_EQUAL;
}

void ExpectTemplate(const Dialog& want, int lang, const ParsedDialog& got, short x, short y,
                    WORD pointSize) {
    ASSERT_TRUE(got.ok) << "template of dialog " << want.id << " does not parse (version "
                        << got.version << ", signature " << got.signature << ")";
    EXPECT_EQ(got.style, kDialogStyle);
    EXPECT_EQ(got.exStyle, 0u);
    EXPECT_EQ(got.x, x);
    EXPECT_EQ(got.y, y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(devhost::Utf8(got.menu), "");
    EXPECT_EQ(devhost::Utf8(got.cls), "");
    EXPECT_EQ(devhost::Utf8(got.title), devhost::Utf8((*want.title)[lang]));
    EXPECT_EQ(got.pointSize, pointSize);
    EXPECT_EQ(devhost::Utf8(got.face), "MS Shell Dlg 2");
    EXPECT_EQ(got.weight, 0u);
    EXPECT_EQ(got.italic, 0u);
    ASSERT_EQ(got.controls.size(), want.controls.size());
    for (size_t i = 0; i < want.controls.size(); ++i) {
        const Control& w = want.controls[i];
        const ParsedControl& g = got.controls[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " (id " + std::to_string(static_cast<int>(w.id)) + ")");
        EXPECT_EQ(g.id, w.id);
        EXPECT_TRUE(SameClass(g.cls, w.cls))
            << "class " << devhost::Utf8(g.cls) << ", expected " << devhost::Utf8(w.cls);
        EXPECT_EQ(g.style, w.style) << std::hex << "got 0x" << g.style << ", expected 0x" << w.style;
        EXPECT_EQ(g.exStyle, 0u);
        EXPECT_EQ(devhost::Utf8(g.text), devhost::Utf8((*w.text)[lang]));
    }
}

TEST(ResourceLanguages, LocalizedResourcesExistInExactlyTheEightLanguages) {
    for (WORD id : std::initializer_list<WORD>{IDD_MAIN_SETTINGS, IDD_ITEM_BEHAVIOR,
                                               IDD_PERIODIC_SETTINGS, IDD_THEME_SYNC_SETTINGS}) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        EXPECT_EQ(LanguagesOf(RT_DIALOG, id), AllLanguageIds());
    }
    // Strings 120-123 live in block 8, which holds the ids 112 to 127.
    EXPECT_EQ(LanguagesOf(RT_STRING, IDS_CAPTION / 16 + 1), AllLanguageIds());
}

TEST(ResourceLanguages, NeutralOnlyResourcesHaveNoTranslation) {
    const std::set<WORD> neutral = {0x0000};
    EXPECT_EQ(LanguagesOf(RT_DIALOG, IDD_ABOUT), neutral);
    EXPECT_EQ(LanguagesOf(RT_VERSION, 1), neutral);
    EXPECT_EQ(LanguagesOf(RT_GROUP_ICON, IDI_VARNEL), neutral);
}

TEST(ResourceLanguages, NoStrayResourcesOfTheseTypes) {
    EXPECT_EQ(NamesOf(RT_DIALOG), (std::set<WORD>{102, 103, 104, 105, 106}));
    EXPECT_EQ(NamesOf(RT_STRING), (std::set<WORD>{IDS_CAPTION / 16 + 1}));
    EXPECT_EQ(NamesOf(RT_GROUP_ICON), (std::set<WORD>{IDI_VARNEL}));
    EXPECT_EQ(NamesOf(RT_VERSION), (std::set<WORD>{1}));
}

TEST(DialogTemplates, EveryLanguageHasTheExpectedControlsAndTexts) {
    for (int lang = 0; lang < kLangCount; ++lang) {
        SCOPED_TRACE(LangTrace(lang));
        for (const Dialog& want : LocalizedDialogs(lang)) {
            SCOPED_TRACE(DialogTrace(want));
            Blob blob = FindBlob(RT_DIALOG, want.id, kLanguages[lang].id);
            ASSERT_NE(blob.data, nullptr);
            ExpectTemplate(want, lang, ParseDialog(blob), 0, 0, 8);
        }
    }
}

TEST(DialogTemplates, AboutBoxIsNeutral) {
    Blob blob = FindBlob(RT_DIALOG, IDD_ABOUT, 0x0000);
    ASSERT_NE(blob.data, nullptr);
    ExpectTemplate(AboutBox(), kNeutral, ParseDialog(blob), 10, 10, 10);
}

// A drop-down list's template height is that of its open list, which drops over
// whatever lies below; closed, it shows only its selection field, no taller than
// this in the dialogs' font (the live test below measures it). Only the field
// takes room in the layout.
const int kClosedComboHeight = 14;

// A control's rectangle in dialog units, as the layout places it.
struct Box {
    int left, top, right, bottom;
};

Box LaidOut(const ParsedControl& c) {
    int height = c.cy;
    // Every combo box but a simple one keeps its list closed until it drops.
    if (SameClass(c.cls, L"ComboBox") && (c.style & 3) != CBS_SIMPLE)
        height = std::min(height, kClosedComboHeight);
    return {c.x, c.y, c.x + c.cx, c.y + height};
}

bool Contains(const Box& outer, const Box& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool Overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::string BoxText(const Box& b) {
    return "(" + std::to_string(b.left) + ", " + std::to_string(b.top) + ")-(" +
           std::to_string(b.right) + ", " + std::to_string(b.bottom) + ")";
}

// A control as the messages and the table below name it: its class, its id unless
// it has none, and its English text if it has one.
std::string ControlName(const Control& c) {
    std::string name = devhost::Utf8(c.cls);
    if (c.id != kNoId) name += " " + std::to_string(c.id);
    const wchar_t* text = (*c.text)[kNeutral];
    if (*text) name += " \"" + devhost::Utf8(text) + "\"";
    return name;
}

const char kAnyInside[] = "any control wholly inside it";

// Every overlap the layouts mean, in every language; any other is a fault.
const struct {
    WORD dialog;
    const char* first;
    const char* second;
} kIntendedOverlaps[] = {
    // The group boxes frame their controls.
    {IDD_PERIODIC_SETTINGS, "Button \"Skins to switch\"", kAnyInside},
    {IDD_PERIODIC_SETTINGS, "Button \"Switch timing\"", kAnyInside},
    // UDS_ALIGNRIGHT moves the up-down control onto its buddy's right edge and
    // narrows the box to make room, wherever the template puts it.
    {IDD_PERIODIC_SETTINGS, "Edit 1210", "msctls_updown32 1211"},
};

struct Placed {
    std::string name;
    Box box;
};

bool Intended(WORD dialog, const Placed& a, const Placed& b) {
    for (const auto& o : kIntendedOverlaps) {
        if (o.dialog != dialog) continue;
        for (const auto& [p, q] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
            if (p->name != o.first) continue;
            if (o.second == kAnyInside ? Contains(p->box, q->box) : q->name == o.second) return true;
        }
    }
    return false;
}

// Calls check with every localised dialog in every language, and the About box,
// each with its controls as its template lays them out, named after the table.
void ForEachLayout(const std::function<void(const Dialog&, const std::vector<Placed>&)>& check) {
    for (int lang = 0; lang < kLangCount; ++lang) {
        SCOPED_TRACE(LangTrace(lang));
        std::vector<Dialog> dialogs = LocalizedDialogs(lang);
        if (lang == kNeutral) dialogs.push_back(AboutBox());
        for (const Dialog& want : dialogs) {
            SCOPED_TRACE(DialogTrace(want));
            ParsedDialog got = ParseDialog(FindBlob(RT_DIALOG, want.id, kLanguages[lang].id));
            // A template that does not match its table fails the template tests above.
            if (!got.ok || got.controls.size() != want.controls.size()) {
                ADD_FAILURE() << "the template does not match its table";
                continue;
            }
            std::vector<Placed> placed;
            for (size_t i = 0; i < got.controls.size(); ++i)
                placed.push_back({ControlName(want.controls[i]), LaidOut(got.controls[i])});
            check(want, placed);
        }
    }
}

TEST(DialogLayout, EveryControlLiesInsideItsDialog) {
    ForEachLayout([](const Dialog& dialog, const std::vector<Placed>& controls) {
        const Box client{0, 0, dialog.cx, dialog.cy};
        for (const Placed& c : controls) {
            EXPECT_TRUE(Contains(client, c.box))
                << c.name << " at " << BoxText(c.box) << " sticks out of the client area "
                << BoxText(client);
        }
    });
}

TEST(DialogLayout, ControlsOverlapOnlyWhereTheLayoutMeansIt) {
    ForEachLayout([](const Dialog& dialog, const std::vector<Placed>& controls) {
        for (size_t i = 0; i < controls.size(); ++i) {
            for (size_t j = i + 1; j < controls.size(); ++j) {
                const Placed& a = controls[i];
                const Placed& b = controls[j];
                EXPECT_FALSE(Overlap(a.box, b.box) && !Intended(dialog.id, a, b))
                    << a.name << " at " << BoxText(a.box) << " overlaps " << b.name << " at "
                    << BoxText(b.box);
            }
        }
    });
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::wstring WindowText(HWND window) {
    wchar_t buf[512] = {};
    GetWindowTextW(window, buf, 512);
    return buf;
}

std::wstring ClassOf(HWND window) {
    wchar_t buf[128] = {};
    GetClassNameW(window, buf, 128);
    return buf;
}

class LiveDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS | ICC_DATE_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&init));
    }

    // Creates the template hidden (none of them has WS_VISIBLE) and checks the
    // child windows, which stand in template order.
    static void ExpectLive(const Dialog& want, int lang) {
        Blob blob = FindBlob(RT_DIALOG, want.id, kLanguages[lang].id);
        ASSERT_NE(blob.data, nullptr);
        HWND dialog = CreateDialogIndirectParamW(
            Module(), reinterpret_cast<LPCDLGTEMPLATEW>(blob.data), nullptr, InertDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
        EXPECT_FALSE(IsWindowVisible(dialog));
        EXPECT_EQ(devhost::Utf8(WindowText(dialog)), devhost::Utf8((*want.title)[lang]));
        HWND child = GetWindow(dialog, GW_CHILD);
        for (size_t i = 0; i < want.controls.size(); ++i, child = GetWindow(child, GW_HWNDNEXT)) {
            const Control& w = want.controls[i];
            SCOPED_TRACE("control #" + std::to_string(i) + " (id " + std::to_string(static_cast<int>(w.id)) + ")");
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(static_cast<DWORD>(GetDlgCtrlID(child)), w.id);
            EXPECT_EQ(devhost::Utf8(ClassOf(child)), devhost::Utf8(w.cls));
            // Pickers answer with the time they show; only buttons and labels carry texts.
            std::wstring cls = ClassOf(child);
            if (cls == L"Button" || cls == L"Static") {
                EXPECT_EQ(devhost::Utf8(WindowText(child)), devhost::Utf8((*w.text)[lang]));
            }
            if (cls == L"ComboBox") {
                RECT closed{0, 0, 0, kClosedComboHeight};
                MapDialogRect(dialog, &closed);
                RECT field{};
                GetWindowRect(child, &field);
                EXPECT_LE(field.bottom - field.top, closed.bottom)
                    << "the closed combo box is taller than the layout test allows";
            }
        }
        if (want.id == IDD_PERIODIC_SETTINGS) {
            HWND buddy = reinterpret_cast<HWND>(
                SendDlgItemMessageW(dialog, IDC_PERIODIC_INTERVAL_SPIN, UDM_GETBUDDY, 0, 0));
            EXPECT_EQ(buddy, GetDlgItem(dialog, IDC_PERIODIC_INTERVAL))
                << "the up-down control must take the interval box as its buddy";
        }
        DestroyWindow(dialog);
    }
};

TEST_F(LiveDialogs, EveryTemplateBuildsItsControls) {
    for (int lang = 0; lang < kLangCount; ++lang) {
        SCOPED_TRACE(LangTrace(lang));
        for (const Dialog& want : LocalizedDialogs(lang)) {
            SCOPED_TRACE(DialogTrace(want));
            ExpectLive(want, lang);
        }
    }
}

// A string block holds 16 counted UTF-16 strings, ids 16 * (block - 1) onwards.
std::vector<std::wstring> StringBlock(WORD block, WORD lang) {
    std::vector<std::wstring> strings;
    Blob blob = FindBlob(RT_STRING, block, lang);
    Reader r(blob.data, blob.size);
    for (int i = 0; i < 16 && r.ok(); ++i) {
        std::wstring s(r.Word(), L'\0');
        for (wchar_t& c : s) c = static_cast<wchar_t>(r.Word());
        strings.push_back(s);
    }
    if (!r.ok() || !r.AtEnd()) strings.clear();
    return strings;
}

TEST(StringTable, CaptionAndUnitsInEveryLanguage) {
    const WORD block = IDS_CAPTION / 16 + 1;
    for (int lang = 0; lang < kLangCount; ++lang) {
        SCOPED_TRACE(LangTrace(lang));
        std::vector<std::wstring> strings = StringBlock(block, kLanguages[lang].id);
        ASSERT_EQ(strings.size(), 16u) << "block " << block << " is missing or malformed";
        for (int i = 0; i < 16; ++i) {
            const int id = 16 * (block - 1) + i;
            SCOPED_TRACE("string " + std::to_string(id));
            const wchar_t* want = id == IDS_CAPTION        ? kCaption[lang]
                                  : id == IDS_UNIT_MINUTES ? kMinutes[lang]
                                  : id == IDS_UNIT_HOURS   ? kHours[lang]
                                  : id == IDS_UNIT_DAYS    ? kDays[lang]
                                                           : L"";
            EXPECT_EQ(devhost::Utf8(strings[static_cast<size_t>(i)]), devhost::Utf8(want));
        }
    }
}

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t path[MAX_PATH] = {};
        DWORD length = GetModuleFileNameW(Module(), path, MAX_PATH);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
        DWORD size = GetFileVersionInfoSizeW(path, nullptr);
        ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block_.data()));
    }

    std::wstring Value(const wchar_t* name) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\000004b0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block_.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
        return static_cast<const wchar_t*>(value);
    }

    // The root block, or null when it is missing or not of its size.
    const VS_FIXEDFILEINFO* Fixed() {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block_.data(), L"\\", &value, &length) || length != sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    std::vector<BYTE> block_;
};

// A version of the fixed information as the version strings write it, "a, b, c, d".
std::string VersionText(DWORD ms, DWORD ls) {
    char text[32];
    snprintf(text, sizeof text, "%u, %u, %u, %u", unsigned{HIWORD(ms)}, unsigned{LOWORD(ms)},
             unsigned{HIWORD(ls)}, unsigned{LOWORD(ls)});
    return text;
}

TEST_F(VersionResource, FixedInformationIsTheProjectVersion) {
    const VS_FIXEDFILEINFO* fixed = Fixed();
    ASSERT_NE(fixed, nullptr) << "no fixed information";
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    // major.minor in the most significant word, build.0 in the least.
    const DWORD ms = DWORD{VARNEL_VERSION_MAJOR} << 16 | DWORD{VARNEL_VERSION_MINOR};
    const DWORD ls = DWORD{VARNEL_VERSION_PATCH} << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionResource, SingleNeutralUnicodeTranslation) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u) << "exactly one language and code page pair";
    const auto* pair = static_cast<const WORD*>(value);
    EXPECT_EQ(pair[0], 0x0000u);
    EXPECT_EQ(pair[1], 0x04B0u);
}

TEST_F(VersionResource, Strings) {
    // The version strings say what the fixed information says.
    const VS_FIXEDFILEINFO* fixed = Fixed();
    ASSERT_NE(fixed, nullptr) << "no fixed information";
    const std::string fileVersion = VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    const std::string productVersion = VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    const struct { const wchar_t* name; const char* want; } kStrings[] = {
        {L"FileDescription", "Tessera Varnel Plugin"},
        {L"FileVersion", fileVersion.c_str()},
        {L"InternalName", "Varnel"},
        {L"OriginalFilename", "Varnel.dll"},
        {L"ProductName", "Tessera Varnel Plugin"},
        {L"ProductVersion", productVersion.c_str()},
    };
    for (const auto& s : kStrings) {
        SCOPED_TRACE(devhost::Utf8(s.name));
        EXPECT_EQ(devhost::Utf8(Value(s.name)), s.want);
    }
    // The About box shows the notice on one line of at most 255 characters.
    std::wstring copyright = Value(L"LegalCopyright");
    EXPECT_NE(devhost::Utf8(copyright), "<missing>");
    EXPECT_FALSE(copyright.empty());
    EXPECT_LE(copyright.size(), 255u);
    EXPECT_EQ(copyright.find_first_of(L"\r\n"), std::wstring::npos) << devhost::Utf8(copyright);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

uint32_t BigEndian32(const BYTE* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

TEST(Icon, GroupHoldsEightSizesOf32BitImages) {
    Blob group = FindBlob(RT_GROUP_ICON, IDI_VARNEL, 0x0000);
    ASSERT_NE(group.data, nullptr);
    ASSERT_GE(group.size, sizeof(GroupIconHeader));
    GroupIconHeader header;
    memcpy(&header, group.data, sizeof header);
    EXPECT_EQ(header.type, 1u);
    ASSERT_EQ(header.count, 8u);
    ASSERT_GE(group.size, sizeof header + header.count * sizeof(GroupIconEntry));

    std::multiset<int> sizes;
    for (WORD i = 0; i < header.count; ++i) {
        GroupIconEntry e;
        memcpy(&e, group.data + sizeof header + i * sizeof e, sizeof e);
        const int size = e.width == 0 ? 256 : e.width;
        sizes.insert(size);
        SCOPED_TRACE("image of " + std::to_string(size) + " px");
        EXPECT_EQ(e.width, e.height);
        EXPECT_EQ(e.planes, 1u);
        EXPECT_EQ(e.bitCount, 32u);
        Blob image = FindBlob(RT_ICON, e.id, 0x0000);
        ASSERT_NE(image.data, nullptr);
        ASSERT_EQ(image.size, e.bytesInRes);
        const size_t pixels = static_cast<size_t>(size) * static_cast<size_t>(size);
        if (image.size >= 24 && memcmp(image.data, "\x89PNG\r\n\x1a\n", 8) == 0) {
            EXPECT_EQ(BigEndian32(image.data + 16), static_cast<uint32_t>(size));
            EXPECT_EQ(BigEndian32(image.data + 20), static_cast<uint32_t>(size));
            ASSERT_GE(image.size, 26u);
            EXPECT_EQ(image.data[24], 8u) << "bits per channel";
            EXPECT_EQ(image.data[25], 6u) << "PNG colour type RGBA";
        } else {
            ASSERT_GE(image.size, sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER bmp;
            memcpy(&bmp, image.data, sizeof bmp);
            EXPECT_EQ(bmp.biWidth, size);
            EXPECT_EQ(bmp.biHeight, 2 * size) << "colour and mask";
            EXPECT_EQ(bmp.biBitCount, 32u);
            EXPECT_EQ(bmp.biCompression, static_cast<DWORD>(BI_RGB));
            const size_t maskRow = (static_cast<size_t>(size) + 31) / 32 * 4;
            ASSERT_EQ(image.size, sizeof bmp + 4 * pixels + maskRow * static_cast<size_t>(size));
            // The picture leaves its corners clear and covers its middle: a lost
            // alpha channel shows as all-opaque or all-clear.
            size_t clear = 0, opaque = 0;
            for (size_t p = 0; p < pixels; ++p) {
                const BYTE alpha = image.data[sizeof bmp + 4 * p + 3];
                clear += alpha == 0;
                opaque += alpha == 255;
            }
            EXPECT_GT(clear, 0u);
            EXPECT_GT(opaque, pixels / 4);
        }
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), e.bytesInRes, TRUE,
                                              0x00030000, size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << "error " << GetLastError();
        if (icon) DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, (std::multiset<int>{256, 64, 48, 40, 32, 24, 20, 16}));
}

// Windows chooses an image by the group's directory: each size asked for must find
// the image of exactly that size.
TEST(Icon, SystemPicksTheImageOfTheRequestedSize) {
    Blob group = FindBlob(RT_GROUP_ICON, IDI_VARNEL, 0x0000);
    ASSERT_GE(group.size, sizeof(GroupIconHeader) + 8 * sizeof(GroupIconEntry));
    for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
        SCOPED_TRACE("request of " + std::to_string(size) + " px");
        int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data), TRUE, size, size,
                                             LR_DEFAULTCOLOR);
        int found = 0;
        for (WORD i = 0; i < 8; ++i) {
            GroupIconEntry e;
            memcpy(&e, group.data + sizeof(GroupIconHeader) + i * sizeof e, sizeof e);
            if (e.id == id) found = e.width == 0 ? 256 : e.width;
        }
        EXPECT_EQ(found, size) << "image id " << id;
    }
}

}  // namespace
