// Whether each control's text fits the control, in every language of every dialog, at
// 96, 144 and 192 DPI. The dialog templates are read from this program's resources (the
// plug-in's), laid out as the dialog manager does at each DPI: the template's font at
// that DPI, its average character width and height as dialog base units. Each text is
// measured in that font against the room its control leaves for text.
//
// The texts that do not fit are written as a report (VARNEL_FIT_OUTPUT); the one in
// docs/screenshots/FIT.md (VARNEL_FIT_RECORDED) is the record. A text that does not fit
// and is not in the record fails; scripts/screenshots copies a new report over it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "devhost/core/text_file.h"
#include "languages.h"
#include "resource.h"

namespace {

using devhost::Utf8;

const int kDpis[] = {96, 144, 192};

struct Dialog {
    UINT id;
    const char* name;
};
const Dialog kDialogs[] = {{IDD_ABOUT, "about"},
                           {IDD_MAIN_SETTINGS, "main-settings"},
                           {IDD_ITEM_BEHAVIOR, "item-behavior"},
                           {IDD_PERIODIC_SETTINGS, "periodic-settings"},
                           {IDD_THEME_SYNC_SETTINGS, "theme-sync-settings"}};

const char* LanguageTag(LANGID language) {
    for (const ResourceLanguage& l : kResourceLanguages) {
        if (l.id == language) return l.tag;
    }
    return "other";
}

// A path from the environment, Unix ones through Wine's root drive.
std::wstring PathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return {};
    std::wstring path(value, value + std::strlen(value));
    if (path[0] == L'/') path = L"Z:" + path;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

// --- Templates -----------------------------------------------------------------

enum class Kind { PushButton, CheckBox, GroupBox, Static, Other };

struct Control {
    int id = 0;
    Kind kind = Kind::Other;
    DWORD style = 0;
    int cx = 0, cy = 0;  // dialog units
    std::wstring text;
};

struct Template {
    WORD pointSize = 8;
    WORD weight = FW_NORMAL;
    BYTE italic = 0;
    BYTE charset = DEFAULT_CHARSET;
    std::wstring face;
    std::vector<Control> controls;
};

// Reads DLGTEMPLATEEX within its resource's bounds; false for anything else.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    void Align() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    template <typename T>
    T Get() {
        T value{};
        if (at_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    std::wstring String() {
        std::wstring text;
        for (;;) {
            const wchar_t c = static_cast<wchar_t>(Get<WORD>());
            if (!ok_ || c == 0) return text;
            text.push_back(c);
        }
    }
    // A string or an ordinal (0xFFFF then a WORD); ordinals come back as "#n".
    std::wstring StringOrOrdinal(WORD* ordinal) {
        *ordinal = 0;
        if (at_ + 2 <= size_ && data_[at_] == 0xFF && data_[at_ + 1] == 0xFF) {
            Get<WORD>();
            *ordinal = Get<WORD>();
            return {};
        }
        return String();
    }
    void Skip(size_t n) {
        if (at_ + n > size_) ok_ = false;
        at_ += n;
    }

private:
    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

Kind KindOf(WORD classOrdinal, DWORD style) {
    if (classOrdinal == 0x0082) return Kind::Static;
    if (classOrdinal != 0x0080) return Kind::Other;
    switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: return Kind::PushButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: return Kind::CheckBox;
        case BS_GROUPBOX: return Kind::GroupBox;
        default: return Kind::Other;
    }
}

bool ParseTemplate(const BYTE* data, size_t size, Template* out) {
    Reader r(data, size);
    const WORD version = r.Get<WORD>();
    const WORD signature = r.Get<WORD>();
    if (!r.ok() || version != 1 || signature != 0xFFFF) return false;
    r.Get<DWORD>();  // help id
    r.Get<DWORD>();  // extended style
    const DWORD style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    r.Skip(4 * sizeof(short));
    WORD ordinal = 0;
    r.StringOrOrdinal(&ordinal);  // menu
    r.StringOrOrdinal(&ordinal);  // class
    r.String();                   // caption
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        out->pointSize = r.Get<WORD>();
        out->weight = r.Get<WORD>();
        out->italic = r.Get<BYTE>();
        out->charset = r.Get<BYTE>();
        out->face = r.String();
    }
    for (WORD i = 0; i < count && r.ok(); ++i) {
        r.Align();
        Control c;
        r.Get<DWORD>();  // help id
        r.Get<DWORD>();  // extended style
        c.style = r.Get<DWORD>();
        r.Skip(2 * sizeof(short));
        c.cx = r.Get<short>();
        c.cy = r.Get<short>();
        c.id = static_cast<int>(r.Get<DWORD>());
        WORD classOrdinal = 0;
        r.StringOrOrdinal(&classOrdinal);
        WORD textOrdinal = 0;
        c.text = r.StringOrOrdinal(&textOrdinal);
        r.Skip(r.Get<WORD>());  // creation data
        c.kind = KindOf(classOrdinal, c.style);
        out->controls.push_back(std::move(c));
    }
    return r.ok();
}

std::vector<LANGID> LanguagesOf(HMODULE module, UINT dialog) {
    std::vector<LANGID> languages;
    EnumResourceLanguagesW(
        module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(dialog),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

bool LoadTemplate(HMODULE module, UINT dialog, LANGID language, Template* out) {
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(dialog), language);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    return data != nullptr && ParseTemplate(static_cast<const BYTE*>(data), SizeofResource(module, found), out);
}

// --- Measuring -------------------------------------------------------------------

struct Row {
    std::string dialog, language;
    int dpi = 0;
    int id = 0;
    std::wstring text;
    int needed = 0, room = 0;  // pixels

    std::string Key() const {
        return dialog + "|" + language + "|" + std::to_string(dpi) + "|" + std::to_string(id) + "|" + Utf8(text);
    }
};

int Scale(int pixelsAt96, int dpi) { return MulDiv(pixelsAt96, dpi, 96); }

// The room a control leaves for its text, in pixels: a push button its face inside
// the frame and focus rectangle, a check box or radio button the width beside its box,
// a group box its top edge less the corners, a static text all of it.
int Room(const Control& c, int width, int averageChar, int dpi) {
    switch (c.kind) {
        case Kind::PushButton: return width - 2 * Scale(3, dpi);
        case Kind::CheckBox: return width - Scale(13, dpi) - averageChar / 2;
        case Kind::GroupBox: return width - 2 * averageChar;
        default: return width;
    }
}

struct Measured {
    std::vector<Row> misfits;
    int measured = 0;
};

// Lays out one template at `dpi` and measures every control with a text.
void Measure(const Template& t, const char* dialog, const char* language, int dpi, HDC dc, Measured* out) {
    HFONT font = CreateFontW(-MulDiv(t.pointSize, dpi, 72), 0, 0, 0, t.weight ? t.weight : FW_NORMAL, t.italic,
                             FALSE, FALSE, t.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, t.face.c_str());
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE alphabet{};
    GetTextExtentPoint32W(dc, kAlphabet, 52, &alphabet);
    const int baseX = (alphabet.cx / 26 + 1) / 2;  // as the dialog manager averages it
    const int baseY = metrics.tmHeight;
    for (const Control& c : t.controls) {
        if (c.kind == Kind::Other || c.text.empty()) continue;
        const int width = MulDiv(c.cx, baseX, 4);
        const int height = MulDiv(c.cy, baseY, 8);
        const int room = Room(c, width, baseX, dpi);
        RECT line{0, 0, 0, 0};
        DrawTextW(dc, c.text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE);
        bool fits = line.right <= room;
        if (!fits && c.kind == Kind::Static && !(c.style & SS_LEFTNOWORDWRAP)) {
            // A static text wraps: it fits if every line does and they all show.
            RECT wrapped{0, 0, room, 0};
            DrawTextW(dc, c.text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
            fits = wrapped.right <= room && wrapped.bottom <= height;
        }
        ++out->measured;
        if (!fits) {
            out->misfits.push_back(Row{dialog, language, dpi, c.id, c.text, static_cast<int>(line.right), room});
        }
    }
    SelectObject(dc, old);
    DeleteObject(font);
}

std::string Escape(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '|') out += "\\";
        out += c;
    }
    return out;
}

std::string Report(const std::vector<Row>& misfits, const int measured[3], const int failing[3]) {
    std::string out =
        "# Dialog texts that do not fit\n\n"
        "Written by the `fit` test (tests/fit), copied here by `scripts/screenshots`; the test fails on a text\n"
        "that does not fit and is not listed here. Every dialog in every language is laid out as the dialog\n"
        "manager does at each DPI (the template's font at that DPI, its average character width and height as\n"
        "dialog units), and each control's text is measured in that font, under Wine with its fonts, against the\n"
        "room the control leaves: a push button's face less 3 px a side, a check box's or radio button's width\n"
        "less its 13 px box and half a character, a group box's width less a character a side, a static text's\n"
        "whole width (over as many lines as its height holds). Pixels at 96 DPI scale with the DPI.\n\n"
        "## Summary\n\n| DPI | Texts measured | Do not fit |\n|---|---|---|\n";
    for (int i = 0; i < 3; ++i) {
        out += "| " + std::to_string(kDpis[i]) + " | " + std::to_string(measured[i]) + " | " +
               std::to_string(failing[i]) + " |\n";
    }
    out += "\n## Texts that do not fit\n\n";
    if (misfits.empty()) {
        out += "None.\n";
        return out;
    }
    out += "| Dialog | Language | DPI | Control | Text | Needs (px) | Has (px) |\n|---|---|---|---|---|---|---|\n";
    for (const Row& r : misfits) {
        out += "| " + r.dialog + " | " + r.language + " | " + std::to_string(r.dpi) + " | " + std::to_string(r.id) +
               " | " + Escape(r.text) + " | " + std::to_string(r.needed) + " | " + std::to_string(r.room) + " |\n";
    }
    return out;
}

// The keys (dialog|language|dpi|control|text) of the rows of a report's table.
std::set<std::string> RecordedKeys(const std::string& report) {
    std::set<std::string> keys;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos) end = report.size();
        const std::string line = report.substr(start, end - start);
        start = end + 1;
        if (line.rfind("| ", 0) != 0) continue;
        std::vector<std::string> cells;
        size_t at = 2;
        std::string cell;
        for (; at < line.size(); ++at) {
            if (line[at] == '\\' && at + 1 < line.size() && line[at + 1] == '|') {
                cell += '|';
                ++at;
            } else if (line.compare(at, 3, " | ") == 0) {
                cells.push_back(cell);
                cell.clear();
                at += 2;
            } else {
                cell += line[at];
            }
        }
        if (cells.size() >= 6 && cells[2] != "DPI") {
            keys.insert(cells[0] + "|" + cells[1] + "|" + cells[2] + "|" + cells[3] + "|" + cells[4]);
        }
    }
    return keys;
}

TEST(Fit, NoDialogTextFitsWorseThanRecorded) {
    HMODULE module = GetModuleHandleW(nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    std::vector<Row> misfits;
    int measured[3] = {};
    int failing[3] = {};
    for (const Dialog& d : kDialogs) {
        const std::vector<LANGID> languages = LanguagesOf(module, d.id);
        EXPECT_EQ(languages.size(), d.id == IDD_ABOUT ? 1u : kResourceLanguageCount)
            << "languages of dialog " << d.id;
        for (LANGID language : languages) {
            Template t;
            SCOPED_TRACE(std::string(d.name) + " " + LanguageTag(language));
            ASSERT_TRUE(LoadTemplate(module, d.id, language, &t)) << "template of dialog " << d.id;
            for (int i = 0; i < 3; ++i) {
                Measured m;
                Measure(t, d.name, LanguageTag(language), kDpis[i], dc, &m);
                // Every dialog has at least its OK button to measure.
                EXPECT_GT(m.measured, 0) << "texts measured at " << kDpis[i] << " DPI";
                measured[i] += m.measured;
                failing[i] += static_cast<int>(m.misfits.size());
                misfits.insert(misfits.end(), m.misfits.begin(), m.misfits.end());
            }
        }
    }
    DeleteDC(dc);

    const std::string report = Report(misfits, measured, failing);
    const std::wstring output = PathFromEnvironment("VARNEL_FIT_OUTPUT");
    if (!output.empty()) {
        EXPECT_TRUE(devhost::WriteFileBytes(output, report)) << "cannot write " << Utf8(output);
    }
    const std::wstring recordedPath = PathFromEnvironment("VARNEL_FIT_RECORDED");
    ASSERT_FALSE(recordedPath.empty()) << "VARNEL_FIT_RECORDED is not set";
    const std::string recorded = devhost::ReadFileBytes(recordedPath).value_or("");
    ASSERT_FALSE(recorded.empty()) << "no report at " << Utf8(recordedPath);
    const std::set<std::string> known = RecordedKeys(recorded);
    for (const Row& r : misfits) {
        EXPECT_TRUE(known.count(r.Key()) == 1)
            << "no longer fits: " << r.dialog << " " << r.language << " at " << r.dpi << " DPI, control " << r.id
            << " \"" << Utf8(r.text) << "\" needs " << r.needed << " px, has " << r.room << " px";
    }
}

}  // namespace
