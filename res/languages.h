// The languages of dialogs 103-106 and strings 120-123, neutral (English) first.
// Each has its LANGID, the tag that names its file in lang/ and its pictures in
// docs/screenshots/, and its name in itself, as a language menu shows it. CMake
// reads the entries too (cmake/languages.cmake): it gives each file of lang/ its
// LANGUAGE statement from here, so keep every entry on one line of this form.
#ifndef VARNEL_LANGUAGES_H
#define VARNEL_LANGUAGES_H

#include <windows.h>

#include <cstddef>

struct ResourceLanguage {
    LANGID id;
    const char* tag;
    const wchar_t* ownName;
};

constexpr ResourceLanguage kResourceLanguages[] = {
    {0x0000, "en", L"English (neutral)"},
    {0x000A, "es", L"Espa\u00F1ol"},
    {0x0010, "it", L"Italiano"},
    {0x0011, "ja", L"\u65E5\u672C\u8A9E"},
    {0x0012, "ko", L"\uD55C\uAD6D\uC5B4"},
    {0x0019, "ru", L"\u0420\u0443\u0441\u0441\u043A\u0438\u0439"},
    {0x0404, "zh-TW", L"\u7E41\u9AD4\u4E2D\u6587"},
    {0x0804, "zh-CN", L"\u7B80\u4F53\u4E2D\u6587"},
};
constexpr size_t kResourceLanguageCount = sizeof kResourceLanguages / sizeof kResourceLanguages[0];

#endif
