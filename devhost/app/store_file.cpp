// The store file. Its format, UTF-8, one entry a line, fields separated by a tab:
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
#include "devhost/app/store_file.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"

namespace devhost {
namespace {

bool NeedsEscape(wchar_t ch) {
    const unsigned unit = static_cast<unsigned>(ch);
    return unit < 0x20 || unit == 0x7F || (unit >= 0xD800 && unit <= 0xDFFF) || ch == L'\\' || ch == L'"';
}

// Text between escapes goes through the converter whole; it holds no surrogate, so
// nothing in it is lost.
void AppendQuoted(std::string* out, const std::wstring& text) {
    out->push_back('"');
    size_t plain = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !NeedsEscape(text[i])) continue;
        *out += Utf8(std::wstring_view(text).substr(plain, i - plain));
        plain = i + 1;
        if (i == text.size()) break;
        const unsigned unit = static_cast<unsigned>(text[i]);
        if (unit == '\\' || unit == '"') {
            out->push_back('\\');
            out->push_back(static_cast<char>(unit));
        } else {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04X", unit);
            out->append(esc);
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
        // Raw text runs to the next escape; it must be UTF-8 on its own.
        const size_t end = std::min(body.find_first_of("\\\"", i), body.size());
        const std::optional<std::wstring> text = FromUtf8(std::string_view(body).substr(i, end - i));
        if (!text) return false;
        *out += *text;
        i = end;
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

bool ParseItemLine(const std::vector<std::string>& fields, StoreSnapshot* image) {
    if (fields.size() != 4) return false;
    ItemKey key;
    SettingValue value;
    if (!ParseUint32(fields[1], &key.first) || !ParseInt32(fields[2], &key.second) ||
        !ParseValue(fields[3], &value))
        return false;
    if (const int32_t* number = std::get_if<int32_t>(&value))
        return image->itemInts.emplace(key, *number).second;
    return image->itemStrings.emplace(key, std::get<std::wstring>(value)).second;
}

bool ParseHostLine(const std::vector<std::string>& fields, StoreSnapshot* image) {
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

bool ParseSettingLine(const std::vector<std::string>& fields, StoreSnapshot* image) {
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

std::string EncodeStore(const StoreSnapshot& image) {
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
    auto appendItem = [&out](const ItemKey& key, const SettingValue& value) {
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

bool DecodeStore(const std::string& text, StoreSnapshot* image) {
    StoreSnapshot result;
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

}  // namespace

bool SaveStoreToFile(const std::wstring& path) { return WriteFileBytes(path, EncodeStore(SnapshotStore())); }

bool LoadStoreFromFile(const std::wstring& path) {
    const std::optional<std::string> text = ReadFileBytes(path);
    StoreSnapshot image;
    if (!text || !DecodeStore(*text, &image)) return false;
    RestoreStore(std::move(image));
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
