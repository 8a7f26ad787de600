// The store's INI file (the layout is in store_file.h). Sections come in the store's
// order: each plug-in id's top level, then its sections by name; items; the launcher.
#include "devhost/app/store_file.h"

#include <windows.h>

#include <cwctype>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>

#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"

namespace devhost {
namespace {

constexpr DWORD kMaxFileBytes = 4u << 20;
constexpr size_t kMaxNotes = 100;
constexpr size_t kMaxNoteChars = 160;
constexpr std::wstring_view kPlugin = L"Plugin ", kItem = L"Item ", kLauncher = L"Launcher";
constexpr std::wstring_view kInt = L"Int ", kString = L"String ", kEscape = L"\\x{";

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool StartsIgnoringCase(std::wstring_view text, std::wstring_view head) {
    return text.size() >= head.size() && SameIgnoringCase(text.substr(0, head.size()), head);
}

// Names as the profile functions tell them apart.
struct IgnoreCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_LESS_THAN;
    }
};
using NameSet = std::set<std::wstring, IgnoreCaseLess>;

// Digits only, with an optional '-' when `negative` is allowed, within [0, limit] or
// [-limit - 1, -1].
bool ParseNumber(std::wstring_view text, bool negative, uint64_t limit, int64_t* value) {
    const bool minus = negative && !text.empty() && text[0] == L'-';
    if (minus) text.remove_prefix(1);
    if (text.empty()) return false;
    uint64_t v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + static_cast<unsigned>(c - L'0');
        if (v > limit + (minus ? 1 : 0)) return false;
    }
    *value = minus ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

bool ParseInt32(std::wstring_view text, int32_t* value) {
    int64_t v;
    if (!ParseNumber(text, true, INT32_MAX, &v)) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

enum class Part { kValue, kKey, kSection };

// Whether text[i] cannot stand as it is in that part of a line.
bool MustEscape(std::wstring_view text, size_t i, Part part) {
    const wchar_t c = text[i];
    if (c < 0x20 || c == 0x7F || (c == L'\\' && text.substr(i, kEscape.size()) == kEscape)) return true;
    if (part == Part::kValue) return false;
    if ((i == 0 || i + 1 == text.size()) && (std::iswspace(c) || c == 0x1A)) return true;  // trimmed
    if (part == Part::kSection) return c == L'[' || c == L']';
    return c == L'=' || (i == 0 && (c == L';' || c == L'['));  // a comment, a section
}

std::wstring Encode(std::wstring_view text, Part part, bool everyUnit) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (!everyUnit && !MustEscape(text, i, part)) {
            out.push_back(text[i]);
            continue;
        }
        wchar_t escape[12];
        swprintf(escape, 12, L"\\x{%X}", static_cast<unsigned>(text[i]));
        out += escape;
    }
    return out;
}

std::wstring Decode(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text.substr(i, kEscape.size()) == kEscape) {
            const size_t close = text.find(L'}', i + kEscape.size());
            const size_t digits = close == std::wstring_view::npos ? 0 : close - i - kEscape.size();
            unsigned unit = 0;
            bool hex = digits >= 1 && digits <= 4;
            for (size_t k = 0; hex && k < digits; ++k) {
                const wchar_t c = text[i + kEscape.size() + k];
                const int d = c >= L'0' && c <= L'9'   ? c - L'0'
                              : c >= L'A' && c <= L'F' ? c - L'A' + 10
                              : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                                       : -1;
                hex = d >= 0;
                unit = unit * 16 + static_cast<unsigned>(d);
            }
            if (hex) {
                out.push_back(static_cast<wchar_t>(unit));
                i = close + 1;
                continue;
            }
        }
        out.push_back(text[i++]);  // not an escape: the backslash as it is
    }
    return out;
}

std::wstring ValueText(const SettingValue& value) {
    if (const int32_t* number = std::get_if<int32_t>(&value)) return std::to_wstring(*number);
    return L"\"" + Encode(std::get<std::wstring>(value), Part::kValue, false) + L"\"";
}

std::optional<SettingValue> ParseValue(std::wstring_view text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return Decode(text.substr(1, text.size() - 2));
    int32_t number;
    if (ParseInt32(text, &number)) return number;
    return std::nullopt;
}

// head + tail, or head + tail all in escapes when the profile functions would take it
// for a name already used.
std::wstring UniqueName(NameSet* used, const std::wstring& head, std::wstring_view tail, Part part) {
    std::wstring name = head + Encode(tail, part, false);
    if (!used->insert(name).second) {
        name = head + Encode(tail, part, true);
        used->insert(name);
    }
    return name;
}

// Sections in order, each with its entries as WritePrivateProfileSectionW takes them.
class IniImage {
public:
    void Begin(std::wstring name) { sections_.push_back({std::move(name), {}, {}}); }
    void Entry(std::wstring_view key, const SettingValue& value) {
        Section& s = sections_.back();
        s.entries += UniqueName(&s.keys, L"", key, Part::kKey) + L"=" + ValueText(value);
        s.entries.push_back(L'\0');
    }
    NameSet* names() { return &names_; }
    bool Write(const std::wstring& path) const {
        // A new file must hold the mark first: the profile functions write ANSI into a
        // file without one.
        if (!WriteFileBytes(path, "\xFF\xFE")) return false;
        for (const Section& s : sections_)
            if (!WritePrivateProfileSectionW(s.name.c_str(), s.entries.c_str(), path.c_str())) return false;
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());  // flushes
        return true;
    }

private:
    struct Section {
        std::wstring name;
        std::wstring entries;  // "key=value\0..."; c_str() adds the final '\0'
        NameSet keys;
    };
    std::vector<Section> sections_;
    NameSet names_;
};

IniImage IniOf(const StoreSnapshot& image) {
    IniImage ini;
    bool first = true;
    StoreKey last{};
    for (const auto& [key, value] : image.settings) {
        if (first || key.pluginId != last.pluginId || key.section != last.section) {
            const std::wstring id = std::wstring(kPlugin) + std::to_wstring(key.pluginId);
            ini.Begin(key.section ? UniqueName(ini.names(), id + L"\\", *key.section, Part::kSection)
                                    : UniqueName(ini.names(), id, L"", Part::kSection));
            first = false;
            last = key;
        }
        ini.Entry(key.key, value);
    }
    // Ints before strings within an item, both by index.
    std::map<uint32_t, std::vector<std::pair<std::wstring, SettingValue>>> items;
    for (const auto& [key, value] : image.itemInts)
        items[key.first].emplace_back(std::wstring(kInt) + std::to_wstring(key.second), value);
    for (const auto& [key, value] : image.itemStrings)
        items[key.first].emplace_back(std::wstring(kString) + std::to_wstring(key.second), value);
    for (const auto& [item, entries] : items) {
        ini.Begin(UniqueName(ini.names(), std::wstring(kItem) + std::to_wstring(item), L"", Part::kSection));
        for (const auto& [key, value] : entries) ini.Entry(key, value);
    }
    if (image.currentSkin || image.language) {
        ini.Begin(UniqueName(ini.names(), std::wstring(kLauncher), L"", Part::kSection));
        if (image.currentSkin) ini.Entry(L"CurrentSkin", *image.currentSkin);
        if (image.language) ini.Entry(L"Language", static_cast<int32_t>(*image.language));
    }
    return ini;
}

// Reads one file's sections into a snapshot, naming what it passes over.
class IniReader {
public:
    explicit IniReader(std::vector<std::wstring>* notes) : notes_(notes) {}

    void ReadSection(const std::wstring& name, std::wstring_view entries) {
        if (!sections_.insert(name).second) {
            // The profile functions give the first of two like-named sections only.
            PassOver(name, L"(a second section of this name)");
            return;
        }
        for (size_t start = 0; start < entries.size();) {
            size_t end = entries.find(L'\0', start);
            if (end == std::wstring_view::npos) end = entries.size();
            const std::wstring_view line = entries.substr(start, end - start);
            start = end + 1;
            if (line.empty()) continue;
            const size_t equals = line.find(L'=');
            std::optional<SettingValue> value;
            if (equals != std::wstring_view::npos) value = ParseValue(line.substr(equals + 1));
            if (!value || !Store(name, Decode(line.substr(0, equals)), std::move(*value))) PassOver(name, line);
        }
    }
    StoreSnapshot Take() { return std::move(image_); }

private:
    bool Store(std::wstring_view section, std::wstring key, SettingValue value) {
        int64_t number;
        if (StartsIgnoringCase(section, kPlugin)) {
            std::wstring_view rest = section.substr(kPlugin.size());
            const size_t slash = rest.find(L'\\');
            StoreKey target;
            if (!ParseInt32(rest.substr(0, slash), &target.pluginId)) return false;
            if (slash != std::wstring_view::npos) target.section = Decode(rest.substr(slash + 1));
            target.key = std::move(key);
            return image_.settings.emplace(std::move(target), std::move(value)).second;
        }
        if (StartsIgnoringCase(section, kItem) && ParseNumber(section.substr(kItem.size()), false, UINT32_MAX, &number)) {
            ItemKey slot{static_cast<uint32_t>(number), 0};
            if (StartsIgnoringCase(key, kInt) && ParseInt32(std::wstring_view(key).substr(kInt.size()), &slot.second))
                return value.index() == 0 && image_.itemInts.emplace(slot, std::get<int32_t>(value)).second;
            if (StartsIgnoringCase(key, kString) &&
                ParseInt32(std::wstring_view(key).substr(kString.size()), &slot.second))
                return value.index() == 1 && image_.itemStrings.emplace(slot, std::get<std::wstring>(value)).second;
            return false;
        }
        if (!SameIgnoringCase(section, kLauncher)) return false;
        if (SameIgnoringCase(key, L"CurrentSkin") && value.index() == 1 && !image_.currentSkin) {
            image_.currentSkin = std::get<std::wstring>(std::move(value));
            return true;
        }
        if (SameIgnoringCase(key, L"Language") && value.index() == 0 && !image_.language) {
            const int32_t language = std::get<int32_t>(value);
            if (language < 0 || language > 0xFFFF) return false;
            image_.language = static_cast<LANGID>(language);
            return true;
        }
        return false;
    }

    void PassOver(std::wstring_view section, std::wstring_view line) {
        if (notes_ == nullptr || notes_->size() > kMaxNotes) return;
        std::wstring note = notes_->size() == kMaxNotes ? std::wstring(L"and more")
                                                        : L"[" + std::wstring(section) + L"] " + std::wstring(line);
        if (note.size() > kMaxNoteChars) note = note.substr(0, kMaxNoteChars - 3) + L"...";
        notes_->push_back(std::move(note));
    }

    std::vector<std::wstring>* notes_;
    NameSet sections_;
    StoreSnapshot image_;
};

// A NUL-separated list as the profile functions give it, into its items.
std::vector<std::wstring> SplitList(const wchar_t* list, DWORD length) {
    std::vector<std::wstring> items;
    for (DWORD start = 0; start < length;) {
        std::wstring item(list + start);
        start += static_cast<DWORD>(item.size()) + 1;
        if (!item.empty()) items.push_back(std::move(item));
    }
    return items;
}

std::mutex& SaveLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

bool SaveStoreToFile(const std::wstring& path) {
    std::lock_guard<std::mutex> guard(SaveLock());
    const std::wstring fresh = path + L".new";
    if (IniOf(SnapshotStore()).Write(fresh) &&
        MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(fresh.c_str());
    return false;
}

bool LoadStoreFromFile(const std::wstring& path, std::vector<std::wstring>* passedOver) {
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file) ||
        (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || file.nFileSizeHigh != 0 ||
        file.nFileSizeLow > kMaxFileBytes)
        return false;
    // The profile functions read a file they cannot open as an empty one.
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    // No list the profile functions give is longer than the file's text; one that
    // fills the buffer means the file grew while it was read.
    std::vector<wchar_t> buffer(file.nFileSizeLow + 16);
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD namesLength = GetPrivateProfileSectionNamesW(buffer.data(), size, path.c_str());
    if (namesLength >= size - 2) return false;
    std::vector<std::wstring> notes;
    IniReader reader(&notes);
    for (const std::wstring& name : SplitList(buffer.data(), namesLength)) {
        const DWORD length = GetPrivateProfileSectionW(name.c_str(), buffer.data(), size, path.c_str());
        if (length >= size - 2) return false;
        reader.ReadSection(name, std::wstring_view(buffer.data(), length));
    }
    RestoreStore(reader.Take());
    if (passedOver != nullptr) *passedOver = std::move(notes);
    return true;
}

void SetStoreFile(const std::wstring& path) {
    if (path.empty()) {
        SetPersistence(nullptr);
    } else {
        SetPersistence([path] { return SaveStoreToFile(path); });
    }
}

}  // namespace devhost
