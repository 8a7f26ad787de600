// The plug-in's description line (event 1) and the About box's two lines, read from its version
// resource; the box itself is src/ui/about_box.cpp.
#include "plugin/about.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "catalog/catalog.h"
#include "core/state.h"

namespace {

constexpr size_t kPathUnits = 260;
// Windows' own limit on a path, in units with the terminator.
constexpr size_t kLongestPathUnits = 32768;
constexpr size_t kQueryUnits = 128;
constexpr size_t kSuffixUnits = 20;

// Bounded formatting: truncates and always terminates.
void FormatBounded(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
    if (capacity == 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    _vsnwprintf(buffer, capacity - 1, format, args);
    va_end(args);
    buffer[capacity - 1] = L'\0';
}

void AppendBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
    const size_t used = wcsnlen(buffer, capacity);
    if (used < capacity) {
        CopyBounded(buffer + used, capacity - used, text);
    }
}

// The module's full file name at any length, in a form Windows opens at any length;
// empty when it cannot be read whole.
std::wstring ModuleFilePath() {
    std::wstring path(kPathUnits, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(g_state.moduleHandle, path.data(),
                                           static_cast<DWORD>(path.size()));
        if (n == 0) {
            return std::wstring();
        }
        if (n < path.size()) {
            path.resize(n);
            return WindowsPathForm(path);
        }
        if (path.size() >= kLongestPathUnits) {
            return std::wstring();
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

void DescribeVersionBlock(const void* block, PluginDescription* record) {
    ReadVersionString(block, L"LegalCopyright", record->copyright);
    ReadVersionString(block, L"FileDescription", record->description);

    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&info), &length) && info != nullptr &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        wchar_t suffix[kSuffixUnits] = L" Ver. ";
        const size_t prefix = wcslen(suffix);
        FormatBounded(suffix + prefix, kSuffixUnits - prefix, L"%u.%u.%u",
                      HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
                      HIWORD(info->dwProductVersionLS));
        AppendBounded(record->description, kDescriptionTextUnits, suffix);
    }
}

int ReadVersionString(const void* block, const wchar_t* name, wchar_t* out) {
    if (block == nullptr || name == nullptr || out == nullptr) {
        return 0;
    }
    wchar_t prefix[kQueryUnits] = L"\\StringFileInfo\\000004B0\\";
    WORD* translation = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                       &length) &&
        translation != nullptr && length >= 2 * sizeof(WORD)) {
        FormatBounded(prefix, kQueryUnits, L"\\StringFileInfo\\%04x%04x\\", translation[0],
                      translation[1]);
    }
    wchar_t path[kQueryUnits];
    CopyBounded(path, kQueryUnits, prefix);
    AppendBounded(path, kQueryUnits, name);

    wchar_t* value = nullptr;
    if (!VerQueryValueW(block, path, reinterpret_cast<void**>(&value), &length) || value == nullptr ||
        length == 0) {
        return 0;
    }
    // The value need not be terminated within the reported length.
    const size_t units = length < kDescriptionTextUnits ? length : kDescriptionTextUnits - 1;
    const size_t n = wcsnlen(value, units);
    for (size_t i = 0; i < n; ++i) {
        out[i] = value[i];
    }
    out[n] = L'\0';
    return 1;
}

int BuildPluginDescription(PluginDescription* record) {
    if (record == nullptr) {
        return 0;
    }
    *record = PluginDescription{};
    // A DLL installed deep in a folder tree has a name longer than MAX_PATH; it is
    // read all the same.
    const std::wstring path = ModuleFilePath();
    if (path.empty()) {
        return 0;
    }
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) {
        return 0;
    }
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return 0;
    }
    DescribeVersionBlock(block.data(), record);
    return 1;
}

void DeliverDescription(wchar_t* buffer, uint64_t capacity) {
    if (buffer == nullptr) {
        return;
    }
    PluginDescription record;
    if (!BuildPluginDescription(&record)) {
        return;
    }
    const uint32_t units = static_cast<uint32_t>(capacity);
    if (units == 0) {
        return;
    }
    if (units > 0x7FFFFFFFu) {
        buffer[0] = L'\0';
        return;
    }
    CopyBounded(buffer, units, record.description);
}
