// Where Windows keeps the app theme: a REG_DWORD under HKEY_CURRENT_USER, 1 while
// apps use the light theme, any other number while they use the dark one. The
// plug-in reads it; the development host and the tests write it as Windows does.
#ifndef VARNEL_WINDOWS_THEME_H
#define VARNEL_WINDOWS_THEME_H

constexpr wchar_t kPersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";

#endif
