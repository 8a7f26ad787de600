// The launcher stand-in's window. Host calls arrive on any thread; the log observer
// copies each entry to the heap and posts it to the window, whose thread appends it to
// the pane and refreshes the skin and caption shown, which those calls may have changed.
#include "devhost/app/launcher.h"

#include <commctrl.h>

#include <cmath>
#include <memory>

#include "core/windows_theme.h"
#include "res/languages.h"

namespace devhost {
namespace {

constexpr UINT kLogMessage = WM_APP + 1;
constexpr int kClientWidth = 660, kClientHeight = 470, kMargin = 12;
constexpr LRESULT kMaxLogLines = 5000;
const wchar_t kClassName[] = L"TesseraDevhostLauncher";
const RECT kPreviewRect = {kMargin, 64, kClientWidth - kMargin, 128};

struct Window {
    LauncherConfig config;
    DWORD thread = 0;
    HFONT font = nullptr;
    HFONT bigFont = nullptr;
    HMENU languageMenu = nullptr;
    HMENU hostMenu = nullptr;
    std::wstring shownSkin;
    std::wstring shownCaption;
    bool firstRefresh = true;
};

Window* Get(HWND window) {
    return reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

uint32_t Fnv1a(const std::wstring& text) {
    uint32_t hash = 2166136261u;
    for (wchar_t ch : text) {
        hash ^= static_cast<uint32_t>(ch) & 0xFF;
        hash *= 16777619u;
        hash ^= static_cast<uint32_t>(ch) >> 8;
        hash *= 16777619u;
    }
    return hash;
}

COLORREF FromHsl(double hue, double saturation, double lightness) {
    double c = (1 - std::fabs(2 * lightness - 1)) * saturation;
    double h = std::fmod(hue, 360.0) / 60.0;
    double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    if (h < 1)
        r = c, g = x;
    else if (h < 2)
        r = x, g = c;
    else if (h < 3)
        g = c, b = x;
    else if (h < 4)
        g = x, b = c;
    else if (h < 5)
        r = x, b = c;
    else
        r = c, b = x;
    double m = lightness - c / 2;
    auto channel = [m](double v) { return static_cast<BYTE>(std::lround((v + m) * 255.0)); };
    return RGB(channel(r), channel(g), channel(b));
}

std::wstring ThreadTag(DWORD thread, DWORD uiThread) {
    if (thread == uiThread) return L"ui";
    wchar_t text[16];
    swprintf(text, 16, L"t%04lx", static_cast<unsigned long>(thread));
    return text;
}

void ShowText(HWND window, int id, const std::wstring& text) {
    SetDlgItemTextW(window, id, text.c_str());
}

void AppendLine(HWND window, const std::wstring& line) {
    HWND pane = GetDlgItem(window, kLauncherLog);
    if (pane == nullptr) return;
    while (SendMessageW(pane, LB_GETCOUNT, 0, 0) >= kMaxLogLines) SendMessageW(pane, LB_DELETESTRING, 0, 0);
    LRESULT row = SendMessageW(pane, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (row >= 0) SendMessageW(pane, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
}

// Shows the host's current skin and the item's caption when they changed.
void Refresh(HWND window) {
    Window* w = Get(window);
    const std::wstring skin = CurrentSkin();
    if (skin != w->shownSkin || w->firstRefresh) {
        w->shownSkin = skin;
        std::wstring name = skin.empty() ? L"" : DefaultDisplayName(skin);
        ShowText(window, kLauncherSkinName,
                 skin.empty()   ? L"(no skin)"
                 : name.empty() ? L"(not a skin)"
                                : name);
        ShowText(window, kLauncherSkinIdentifier,
                 L"Skin " + LogQuote(skin) + L" in " + SkinsFolder());
        InvalidateRect(window, &kPreviewRect, TRUE);
    }
    const std::wstring caption = Caption(w->config.pluginId).value_or(L"");
    if (caption != w->shownCaption || w->firstRefresh) {
        w->shownCaption = caption;
        ShowText(window, kLauncherCaption,
                 L"Plug-in item: " +
                     (caption.empty() ? std::wstring(L"(no caption yet)") : L"\u201C" + caption + L"\u201D"));
    }
    w->firstRefresh = false;
}

void CheckLanguage(HWND window) {
    Window* w = Get(window);
    const LANGID current = Language();
    for (size_t i = 0; i < Languages().size(); ++i) {
        CheckMenuItem(w->languageMenu, static_cast<UINT>(kLauncherLanguageFirst + static_cast<int>(i)),
                      MF_BYCOMMAND | (Languages()[i].language == current ? MF_CHECKED : MF_UNCHECKED));
    }
}

HWND AddControl(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y,
                int cx, int cy, HFONT font) {
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Build(HWND window, Window* w) {
    w->font =
        CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Tahoma");
    w->bigFont =
        CreateFontW(-22, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Tahoma");
    const int wide = kClientWidth - 2 * kMargin;
    AddControl(window, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kLauncherSkinName, kMargin, 10, wide, 28,
               w->bigFont);
    AddControl(window, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, kLauncherSkinIdentifier,
               kMargin, 40, wide, 18, w->font);
    AddControl(window, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kLauncherCaption, kMargin, 138, wide, 18,
               w->font);
    struct Button {
        int id;
        const wchar_t* text;
        int width;
    };
    const Button buttons[] = {{kLauncherSettings, L"Settings...", 104},
                              {kLauncherAbout, L"About...", 96},
                              {kLauncherItemSettings, L"Item settings...", 128},
                              {kLauncherRunItem, L"Run item", 96},
                              {kLauncherToggleTheme, L"Toggle Windows theme", 0}};  // takes the rest
    int x = kMargin;
    for (const Button& button : buttons) {
        const int width = button.width != 0 ? button.width : kClientWidth - kMargin - x;
        AddControl(window, L"BUTTON", button.text, BS_PUSHBUTTON | WS_TABSTOP, button.id, x, 162, width, 28,
                   w->font);
        x += width + 8;
    }
    AddControl(window, L"LISTBOX", L"",
               WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, kLauncherLog, kMargin,
               200, wide, kClientHeight - 200 - kMargin, w->font);
    SendDlgItemMessageW(window, kLauncherLog, LB_SETHORIZONTALEXTENT, 2000, 0);

    HMENU bar = CreateMenu();
    w->languageMenu = CreatePopupMenu();
    for (size_t i = 0; i < Languages().size(); ++i) {
        AppendMenuW(w->languageMenu, MF_STRING,
                    static_cast<UINT_PTR>(kLauncherLanguageFirst + static_cast<int>(i)), Languages()[i].name);
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(w->languageMenu), L"&Language");
    w->hostMenu = CreatePopupMenu();
    AppendMenuW(w->hostMenu, MF_STRING, kLauncherMarshal, L"Serve the plug-in's threads on this thread");
    AppendMenuW(w->hostMenu, MF_STRING, kLauncherSlowCalls, L"Host calls block for 500 ms");
    AppendMenuW(w->hostMenu, MF_STRING, kLauncherRestartElsewhere,
                L"Restart the plug-in, shutting it down from another thread");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(w->hostMenu), L"&Host");
    SetMenu(window, bar);
    CheckLanguage(window);
    CheckMenuItem(w->hostMenu, kLauncherMarshal, MF_BYCOMMAND | (Marshalling() ? MF_CHECKED : MF_UNCHECKED));
}

void PaintPreview(HWND window, HDC dc) {
    const std::wstring skin = Get(window)->shownSkin;
    RECT band = kPreviewRect;
    if (skin.empty()) {
        FillRect(dc, &band, GetSysColorBrush(COLOR_3DSHADOW));
        return;
    }
    const std::array<COLORREF, 4> colours = PreviewColours(skin);
    const LONG width = (band.right - band.left) / 4;
    for (int i = 0; i < 4; ++i) {
        RECT stripe = {band.left + i * width, band.top, i == 3 ? band.right : band.left + (i + 1) * width,
                       band.bottom};
        HBRUSH brush = CreateSolidBrush(colours[static_cast<size_t>(i)]);
        FillRect(dc, &stripe, brush);
        DeleteObject(brush);
    }
    FrameRect(dc, &band, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void Command(HWND window, int id) {
    Window* w = Get(window);
    const TsPluginEventHandlerFn handler = w->config.handler;
    const uint64_t self = reinterpret_cast<uint64_t>(window);
    switch (id) {
    case kLauncherSettings:
        if (handler != nullptr) handler(TS_EVENT_SETTINGS, self, 0, 0);
        break;
    case kLauncherAbout:
        if (handler != nullptr) handler(TS_EVENT_ABOUT, self, 0, 0);
        break;
    case kLauncherItemSettings:
        if (handler != nullptr) handler(TS_EVENT_ITEM_SETTINGS, self, w->config.itemId, 0);
        break;
    case kLauncherRunItem:
        if (handler != nullptr) handler(TS_EVENT_RUN_ITEM, w->config.itemId, 0, 0);
        break;
    case kLauncherMarshal:
        SetMarshalling(!Marshalling());
        CheckMenuItem(w->hostMenu, kLauncherMarshal, MF_BYCOMMAND | (Marshalling() ? MF_CHECKED : MF_UNCHECKED));
        AppendLine(window, Marshalling() ? L"host: calls from other threads are now served on this thread"
                                         : L"host: calls are now served on the thread that makes them");
        break;
    case kLauncherSlowCalls: {
        const bool slow = (GetMenuState(w->hostMenu, kLauncherSlowCalls, MF_BYCOMMAND) & MF_CHECKED) == 0;
        SetCallDelay(slow ? 500 : 0);
        CheckMenuItem(w->hostMenu, kLauncherSlowCalls, MF_BYCOMMAND | (slow ? MF_CHECKED : MF_UNCHECKED));
        AppendLine(window, slow ? L"host: every call now blocks for 500 ms" : L"host: calls no longer block");
        break;
    }
    case kLauncherRestartElsewhere:
        if (handler != nullptr) {
            const int32_t stopped = SendEventFromThread(handler, TS_EVENT_SHUTDOWN, 0, 0);
            const int32_t started = handler(TS_EVENT_INITIALIZE, static_cast<uint32_t>(w->config.pluginId),
                                            reinterpret_cast<uint64_t>(Table()), 0);
            AppendLine(window, L"host: event 3 from another thread -> " + std::to_wstring(stopped) +
                                   L", event 2 -> " + std::to_wstring(started));
        }
        break;
    case kLauncherToggleTheme: {
        int value = ToggleAppsTheme();
        AppendLine(window, value < 0 ? L"host: the app theme could not be written"
                                     : std::wstring(L"host: Windows app theme now ") +
                                           (value == 0 ? L"dark" : L"light") + L" (" + kLightThemeValue + L" " +
                                           std::to_wstring(value) + L"), \"ImmersiveColorSet\" broadcast");
        break;
    }
    default:
        if (id >= kLauncherLanguageFirst &&
            id < kLauncherLanguageFirst + static_cast<int>(Languages().size())) {
            SetLanguage(Languages()[static_cast<size_t>(id - kLauncherLanguageFirst)].language);
            Persist();
            CheckLanguage(window);
            if (handler != nullptr) handler(TS_EVENT_REFRESH_CAPTION, 0, 0, 0);
        }
        break;
    }
    Refresh(window);
}

void DropQueuedEntries(HWND window) {
    MSG msg;
    while (PeekMessageW(&msg, window, kLogMessage, kLogMessage, PM_REMOVE))
        delete reinterpret_cast<LogEntry*>(msg.lParam);
}

LRESULT CALLBACK LauncherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Get(window);
    switch (message) {
    case WM_NCCREATE: {
        // The window owns its record from here on; WM_NCDESTROY frees it.
        auto* holder =
            static_cast<std::unique_ptr<Window>*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(holder->release()));
        break;
    }
    case WM_CREATE:
        Build(window, w);
        Refresh(window);
        SetLogObserver([window](const LogEntry& entry) {
            auto copy = std::make_unique<LogEntry>(entry);
            if (PostMessageW(window, kLogMessage, 0, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
        });
        return 0;
    case kLogMessage: {
        // Calls come in bursts (a save is some twenty); the pane is redrawn once a burst.
        HWND pane = GetDlgItem(window, kLauncherLog);
        SendMessageW(pane, WM_SETREDRAW, FALSE, 0);
        std::unique_ptr<LogEntry> entry(reinterpret_cast<LogEntry*>(lParam));
        AppendLine(window, FormatLogEntry(*entry, w->thread));
        MSG next;
        while (PeekMessageW(&next, window, kLogMessage, kLogMessage, PM_REMOVE)) {
            entry.reset(reinterpret_cast<LogEntry*>(next.lParam));
            AppendLine(window, FormatLogEntry(*entry, w->thread));
        }
        SendMessageW(pane, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(pane, nullptr, TRUE);
        Refresh(window);
        return 0;
    }
    case WM_COMMAND:
        Command(window, LOWORD(wParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PaintPreview(window, dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
        SetLogObserver(nullptr);
        DropQueuedEntries(window);
        if (w->config.quitOnDestroy) PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        // An entry posted by a call that was in flight while the observer was removed
        // may still have been queued; the queue goes with the window.
        DropQueuedEntries(window);
        if (w != nullptr) {
            DeleteObject(w->font);
            DeleteObject(w->bigFont);
            delete w;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

const std::vector<LanguageChoice>& Languages() {
    static const std::vector<LanguageChoice> languages = [] {
        std::vector<LanguageChoice> choices;
        for (const ResourceLanguage& l : kResourceLanguages) choices.push_back({l.id, l.ownName});
        return choices;
    }();
    return languages;
}

std::array<COLORREF, 4> PreviewColours(const std::wstring& identifier) {
    const uint32_t hash = Fnv1a(identifier);
    const double hue = static_cast<double>(hash % 360);
    const double spread = 20.0 + static_cast<double>((hash >> 9) % 100);  // how far the hues fan out
    const double saturation = 0.45 + static_cast<double>((hash >> 16) % 40) / 100.0;
    std::array<COLORREF, 4> colours{};
    for (size_t i = 0; i < colours.size(); ++i) {
        colours[i] =
            FromHsl(hue + spread * static_cast<double>(i), saturation, 0.30 + 0.13 * static_cast<double>(i));
    }
    return colours;
}

std::wstring FormatLogEntry(const LogEntry& entry, DWORD uiThread) {
    wchar_t time[32];
    swprintf(time, 32, L"%6llu ms  ", static_cast<unsigned long long>(entry.ms));
    std::wstring line = time;
    std::wstring tag = entry.slot < 0 ? L"host" : ThreadTag(entry.threadId, uiThread);
    line += tag + std::wstring(tag.size() < 6 ? 6 - tag.size() : 1, L' ');
    line += entry.name + L"(" + LogArgsText(entry.args) + L")";
    if (!entry.result.empty()) line += L" = " + LogResultText(entry.result);
    // The log escapes backslashes; skin identifiers and paths read better with them.
    for (size_t at = line.find(L"\\x5C"); at != std::wstring::npos; at = line.find(L"\\x5C", at + 1))
        line.replace(at, 4, L"\\");
    return line;
}

int ToggleAppsTheme() {
    DWORD value = 1, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        value = 1;
    const DWORD next = value == 0 ? 1 : 0;
    if (!SetAppsUseLightTheme(next)) return -1;
    BroadcastColorSetChange();
    return static_cast<int>(next);
}

namespace {
bool IsLauncher(HWND window) {
    wchar_t name[64] = {};
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() &&
           GetClassNameW(window, name, 64) > 0 && lstrcmpW(name, kClassName) == 0;
}
}  // namespace

void AppendLauncherLine(HWND window, const std::wstring& line) {
    if (IsLauncher(window)) AppendLine(window, line);
}

void SetLauncherHandler(HWND window, TsPluginEventHandlerFn handler) {
    if (!IsLauncher(window)) return;
    Window* w = Get(window);
    if (w != nullptr) w->config.handler = handler;
}

HWND CreateLauncherWindow(const LauncherConfig& config) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = LauncherProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // already registered by an earlier window is fine

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, TRUE, 0);
    auto w = std::make_unique<Window>();
    w->config = config;
    w->thread = GetCurrentThreadId();
    return CreateWindowExW(0, kClassName, L"Tessera (development host)", style, 40, 40,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, wc.hInstance,
                           &w);
}

}  // namespace devhost
