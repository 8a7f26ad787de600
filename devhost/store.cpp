// Settings store and item parameters as the test sees them, and the store's file.
//
// File format, UTF-8, one entry a line, fields separated by a tab:
//   plug-in id <TAB> section <TAB> key <TAB> value     a setting
//   item <TAB> item id <TAB> parameter index <TAB> value  an item parameter
//   host <TAB> "CurrentSkin" <TAB> value                the launcher's skin (a string)
//   host <TAB> "Language" <TAB> value                   its language (0 to 65535)
// The section is "-" for the top level or a quoted string; the key is a quoted string;
// the value is a decimal int32 or a quoted string. An item may hold an int and a string
// under the same index, as the slots keep them apart. Inside quotes a backslash starts
// \\, \" or \uXXXX; every surrogate unit, paired or not, and every control character is
// written as \uXXXX, so any UTF-16 string round-trips unit for unit. Lines that are empty
// or start with '#' are ignored.
#include <climits>

#include "devhost/state.h"

namespace devhost {
namespace detail {

namespace {

void AppendUtf8(std::string* out, unsigned cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendQuoted(std::string* out, const std::wstring& text) {
    out->push_back('"');
    for (wchar_t ch : text) {
        unsigned unit = static_cast<unsigned>(ch);
        if (unit == '\\' || unit == '"') {
            out->push_back('\\');
            out->push_back(static_cast<char>(unit));
        } else if (unit < 0x20 || unit == 0x7F || (unit >= 0xD800 && unit <= 0xDFFF)) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04X", unit);
            out->append(esc);
        } else {
            AppendUtf8(out, unit);
        }
    }
    out->push_back('"');
}

bool ParseInt32(const std::string& field, int32_t* value) {
    if (field.empty() || field.size() > 11) return false;
    size_t i = field[0] == '-' ? 1 : 0;
    if (i == field.size()) return false;
    long long v = 0;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9') return false;
        v = v * 10 + (field[i] - '0');
    }
    if (field[0] == '-') v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool ParseUint32(const std::string& field, uint32_t* value) {
    if (field.empty() || field.size() > 10) return false;
    unsigned long long v = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > UINT32_MAX) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes one UTF-8 sequence at text[*i]; rejects overlong forms, encoded surrogates
// and values above U+10FFFF.
bool NextCodePoint(const std::string& text, size_t* i, unsigned* cp) {
    unsigned char lead = static_cast<unsigned char>(text[*i]);
    size_t extra;
    unsigned min;
    if (lead < 0x80) {
        *cp = lead;
        ++*i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, min = 0x80, *cp = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, min = 0x800, *cp = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, min = 0x10000, *cp = lead & 0x07u;
    } else {
        return false;
    }
    if (*i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
        unsigned char next = static_cast<unsigned char>(text[*i + k]);
        if ((next & 0xC0) != 0x80) return false;
        *cp = (*cp << 6) | (next & 0x3Fu);
    }
    if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return false;
    *i += extra + 1;
    return true;
}

bool ParseQuoted(const std::string& field, std::wstring* out) {
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return false;
    out->clear();
    const std::string body = field.substr(1, field.size() - 2);
    size_t i = 0;
    while (i < body.size()) {
        char c = body[i];
        if (c == '"') return false;
        if (c == '\\') {
            if (i + 1 >= body.size()) return false;
            char kind = body[i + 1];
            if (kind == '\\' || kind == '"') {
                out->push_back(static_cast<wchar_t>(kind));
                i += 2;
            } else if (kind == 'u' && i + 6 <= body.size()) {
                unsigned unit = 0;
                for (size_t k = 2; k < 6; ++k) {
                    int d = HexDigit(body[i + k]);
                    if (d < 0) return false;
                    unit = unit * 16 + static_cast<unsigned>(d);
                }
                out->push_back(static_cast<wchar_t>(unit));
                i += 6;
            } else {
                return false;
            }
            continue;
        }
        unsigned cp;
        if (!NextCodePoint(body, &i, &cp)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<wchar_t>(cp));
        }
    }
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

void AppendValue(std::string* out, const SettingValue& value) {
    if (const int32_t* number = std::get_if<int32_t>(&value)) {
        *out += std::to_string(*number);
    } else {
        AppendQuoted(out, std::get<std::wstring>(value));
    }
}

bool ParseValue(const std::string& field, SettingValue* value) {
    if (!field.empty() && field[0] == '"') {
        std::wstring text;
        if (!ParseQuoted(field, &text)) return false;
        *value = std::move(text);
        return true;
    }
    int32_t number;
    if (!ParseInt32(field, &number)) return false;
    *value = number;
    return true;
}

bool ParseItemLine(const std::vector<std::string>& fields, StoreImage* image) {
    if (fields.size() != 4) return false;
    std::pair<uint32_t, int32_t> key;
    SettingValue value;
    if (!ParseUint32(fields[1], &key.first) || !ParseInt32(fields[2], &key.second) ||
        !ParseValue(fields[3], &value))
        return false;
    if (const int32_t* number = std::get_if<int32_t>(&value))
        return image->itemInts.emplace(key, *number).second;
    return image->itemStrings.emplace(key, std::get<std::wstring>(value)).second;
}

bool ParseHostLine(const std::vector<std::string>& fields, StoreImage* image) {
    std::wstring key;
    SettingValue value;
    if (fields.size() != 3 || !ParseQuoted(fields[1], &key) || !ParseValue(fields[2], &value))
        return false;
    if (key == L"CurrentSkin" && value.index() == 1 && !image->currentSkin) {
        image->currentSkin = std::get<std::wstring>(value);
        return true;
    }
    if (key == L"Language" && value.index() == 0 && !image->language) {
        int32_t language = std::get<int32_t>(value);
        if (language < 0 || language > 0xFFFF) return false;
        image->language = static_cast<LANGID>(language);
        return true;
    }
    return false;  // unknown key, wrong type or repeated
}

bool ParseSettingLine(const std::vector<std::string>& fields, StoreImage* image) {
    if (fields.size() != 4) return false;
    StoreKey key;
    if (!ParseInt32(fields[0], &key.pluginId)) return false;
    if (fields[1] != "-") {
        std::wstring section;
        if (!ParseQuoted(fields[1], &section)) return false;
        key.section = section;
    }
    SettingValue value;
    if (!ParseQuoted(fields[2], &key.key) || !ParseValue(fields[3], &value)) return false;
    return image->settings.emplace(std::move(key), std::move(value)).second;  // no duplicate
}

}  // namespace

std::string EncodeStore(const StoreImage& image) {
    std::string out = "# settings store: plug-in id, section (- = top level), key, value\n";
    for (const auto& [key, value] : image.settings) {
        out += std::to_string(key.pluginId);
        out.push_back('\t');
        if (key.section) {
            AppendQuoted(&out, *key.section);
        } else {
            out.push_back('-');
        }
        out.push_back('\t');
        AppendQuoted(&out, key.key);
        out.push_back('\t');
        AppendValue(&out, value);
        out.push_back('\n');
    }
    auto appendItem = [&out](const std::pair<uint32_t, int32_t>& key, const SettingValue& value) {
        out += "item\t" + std::to_string(key.first) + "\t" + std::to_string(key.second) + "\t";
        AppendValue(&out, value);
        out.push_back('\n');
    };
    for (const auto& [key, value] : image.itemInts) appendItem(key, value);
    for (const auto& [key, value] : image.itemStrings) appendItem(key, value);
    if (image.currentSkin) {
        out += "host\t\"CurrentSkin\"\t";
        AppendQuoted(&out, *image.currentSkin);
        out.push_back('\n');
    }
    if (image.language) out += "host\t\"Language\"\t" + std::to_string(*image.language) + "\n";
    return out;
}

bool DecodeStore(const std::string& text, StoreImage* image) {
    StoreImage result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;

        std::vector<std::string> fields = SplitTabs(line);
        bool ok = fields[0] == "item"   ? ParseItemLine(fields, &result)
                  : fields[0] == "host" ? ParseHostLine(fields, &result)
                                        : ParseSettingLine(fields, &result);
        if (!ok) return false;
    }
    *image = std::move(result);
    return true;
}

bool SaveToStoreFileIfSet() {
    std::wstring file;
    {
        std::lock_guard<std::mutex> guard(Lock());
        file = Host().storeFile;
    }
    return file.empty() || SaveStoreToFile(file);
}

}  // namespace detail

using detail::Host;
using detail::Lock;
using detail::StoreKey;

namespace {
StoreKey MakeKey(int32_t pluginId, const wchar_t* section, const std::wstring& key) {
    StoreKey k{pluginId, std::nullopt, key};
    if (section != nullptr) k.section = std::wstring(section);
    return k;
}
}  // namespace

void SetSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key, int32_t value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().store[MakeKey(pluginId, section, key)] = value;
}

void SetSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key,
                const std::wstring& value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().store[MakeKey(pluginId, section, key)] = value;
}

std::optional<int32_t> GetSettingInt(int32_t pluginId, const wchar_t* section,
                                     const std::wstring& key) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().store.find(MakeKey(pluginId, section, key));
    if (it == Host().store.end() || !std::holds_alternative<int32_t>(it->second)) return std::nullopt;
    return std::get<int32_t>(it->second);
}

std::optional<std::wstring> GetSettingString(int32_t pluginId, const wchar_t* section,
                                             const std::wstring& key) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().store.find(MakeKey(pluginId, section, key));
    if (it == Host().store.end() || !std::holds_alternative<std::wstring>(it->second))
        return std::nullopt;
    return std::get<std::wstring>(it->second);
}

bool EraseSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key) {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().store.erase(MakeKey(pluginId, section, key)) != 0;
}

std::vector<SettingEntry> Settings(int32_t pluginId) {
    std::lock_guard<std::mutex> guard(Lock());
    std::vector<SettingEntry> entries;
    for (const auto& [key, value] : Host().store) {
        if (key.pluginId == pluginId) entries.push_back(SettingEntry{key.section, key.key, value});
    }
    return entries;
}

void ClearSettings() {
    std::lock_guard<std::mutex> guard(Lock());
    Host().store.clear();
}

int CommitCount() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().commits;
}

void SetStoreFile(const std::wstring& path) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().storeFile = path;
}

bool SaveStoreToFile(const std::wstring& path) {
    std::string text;
    {
        std::lock_guard<std::mutex> guard(Lock());
        const detail::State& s = Host();
        text = detail::EncodeStore(
            {s.store, s.itemInts, s.itemStrings, s.currentSkin, s.language});
    }
    return detail::WriteTextFile(path, text);
}

bool LoadStoreFromFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    if (!ok) return false;
    detail::StoreImage image;
    if (!detail::DecodeStore(text, &image)) return false;
    std::lock_guard<std::mutex> guard(Lock());
    detail::State& s = Host();
    s.store = std::move(image.settings);
    s.itemInts = std::move(image.itemInts);
    s.itemStrings = std::move(image.itemStrings);
    if (image.currentSkin) s.currentSkin = std::move(*image.currentSkin);
    if (image.language) s.language = *image.language;
    return true;
}

void SetItemParam(uint32_t itemId, int32_t paramIndex, int32_t value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().itemInts[{itemId, paramIndex}] = value;
}

void SetItemParam(uint32_t itemId, int32_t paramIndex, const std::wstring& value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().itemStrings[{itemId, paramIndex}] = value;
}

std::optional<int32_t> GetItemParamInt(uint32_t itemId, int32_t paramIndex) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().itemInts.find({itemId, paramIndex});
    if (it == Host().itemInts.end()) return std::nullopt;
    return it->second;
}

std::optional<std::wstring> GetItemParamString(uint32_t itemId, int32_t paramIndex) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().itemStrings.find({itemId, paramIndex});
    if (it == Host().itemStrings.end()) return std::nullopt;
    return it->second;
}

void ClearItemParams(uint32_t itemId) {
    std::lock_guard<std::mutex> guard(Lock());
    auto drop = [itemId](auto& map) {
        for (auto it = map.begin(); it != map.end();) {
            it = it->first.first == itemId ? map.erase(it) : std::next(it);
        }
    };
    drop(Host().itemInts);
    drop(Host().itemStrings);
}

void ClearAllItemParams() {
    std::lock_guard<std::mutex> guard(Lock());
    Host().itemInts.clear();
    Host().itemStrings.clear();
}

}  // namespace devhost
