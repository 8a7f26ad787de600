// Skins: the folder, display names, sample skins, and applying a skin now, later or
// never.
#include <algorithm>
#include <thread>

#include "devhost/core/state.h"
#include "devhost/core/text_file.h"

namespace devhost {

using detail::Host;
using detail::Lock;

namespace {

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool EndsWithSkinExtension(const std::wstring& name) {
    static const wchar_t kExtension[] = L".tskin";
    const size_t n = 6;
    if (name.size() <= n) return false;
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = name[name.size() - n + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}


std::wstring MakeFileSkinWithExtension(const std::wstring& folder, const std::wstring& name,
                                       const wchar_t* extension) {
    std::wstring identifier = name + extension;
    if (!WriteFileBytes(folder + L"\\" + identifier, "[Skin]\r\nVersion=1\r\n")) return L"";
    return identifier;
}

// Delayed applies: one host thread, started on first need, sets each queued skin when
// its time comes. It runs until the process ends.
void DelayedApplyThread() {
    std::unique_lock<std::mutex> lock(Lock());
    for (;;) {
        auto& pending = Host().pendingApplies;
        if (pending.empty()) {
            detail::ApplyWake().wait(lock);
            continue;
        }
        auto first = std::min_element(pending.begin(), pending.end(),
                                      [](const auto& a, const auto& b) { return a.due < b.due; });
        if (std::chrono::steady_clock::now() < first->due) {
            detail::ApplyWake().wait_until(lock, first->due);
            continue;
        }
        detail::PendingApply item = *first;
        pending.erase(first);
        if (item.generation != Host().applyGeneration) continue;
        Host().currentSkin = item.skin;
        lock.unlock();
        detail::Record(-1, L"SkinTookEffect", {item.skin}, {});
        lock.lock();
    }
}

void StartDelayedApplyThreadOnce() {
    static std::once_flag once;
    std::call_once(once, [] { std::thread(DelayedApplyThread).detach(); });
}

}  // namespace

void SetSkinsFolder(const std::wstring& path) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().skinsFolder = path;
}

std::wstring SkinsFolder() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().skinsFolder;
}

std::wstring DefaultDisplayName(const std::wstring& identifier) {
    if (identifier.empty()) return L"";
    const std::wstring folder = SkinsFolder();
    if (identifier[0] == L'\\') {
        std::wstring name = identifier.substr(1);
        if (name.empty() || name == L"." || name == L".." ||
            name.find_first_of(L"\\/") != std::wstring::npos)
            return L"";
        std::wstring path = folder + identifier;
        return IsDirectory(path) && IsFile(path + L"\\skin.ini") ? name : L"";
    }
    if (identifier.find_first_of(L"\\/") != std::wstring::npos) return L"";
    if (!EndsWithSkinExtension(identifier) || !IsFile(folder + L"\\" + identifier)) return L"";
    return identifier.substr(0, identifier.size() - 6);
}

void SetDisplayNameRule(std::function<std::wstring(const std::wstring& identifier)> rule) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().displayRule = std::move(rule);
}

std::wstring MakeFileSkin(const std::wstring& folder, const std::wstring& name) {
    return MakeFileSkinWithExtension(folder, name, L".tskin");
}

std::wstring MakeFolderSkin(const std::wstring& folder, const std::wstring& name) {
    std::wstring path = folder + L"\\" + name;
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return L"";
    if (!WriteFileBytes(path + L"\\skin.ini", "[Skin]\r\nVersion=1\r\n")) return L"";
    return L"\\" + name;
}

std::vector<std::wstring> MakeSampleSkins(const std::wstring& folder) {
    std::vector<std::wstring> ids = {
        MakeFileSkin(folder, L"Classic Blue"),
        MakeFileSkin(folder, L"Dark.Matter v2.1"),
        MakeFolderSkin(folder, L"Ночная Москва"),
        MakeFileSkin(folder, L"夜桜"),
        MakeFolderSkin(folder, L"Ωμέγα"),
        MakeFileSkin(folder, L"Café Crème"),
        MakeFolderSkin(folder, L"Hangul 한밤"),
        MakeFileSkinWithExtension(folder, L"Minimal", L".TSKIN"),
        MakeFileSkin(folder, L"极简主义"),
        MakeFolderSkin(folder, L"Ocean Breeze"),
        MakeFileSkin(folder, L"Nebula \U0001F30C"),
        MakeFolderSkin(folder, L"שקיעה"),
    };
    return ids;
}

void SetApplyMode(ApplyMode mode, DWORD delayMs) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().applyMode = mode;
    Host().applyDelay = delayMs;
}

void SetCurrentSkin(const std::wstring& identifier) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().currentSkin = identifier;
}

std::wstring CurrentSkin() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().currentSkin;
}

void SetCurrentSkinOverride(std::function<std::wstring(const std::wstring& real)> hook) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().currentSkinOverride = std::move(hook);
}

int ApplySkinCount() {
    std::lock_guard<std::mutex> guard(Lock());
    return static_cast<int>(Host().applied.size());
}

std::vector<std::wstring> AppliedSkins() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().applied;
}

namespace detail {

const wchar_t* SkinsFolderSlot() {
    static constexpr char kOwner = 0;
    std::wstring& buffer = ThreadBuffer(&kOwner);
    buffer = SkinsFolder();
    return buffer.c_str();
}

const wchar_t* CurrentSkinSlot() {
    static constexpr char kOwner = 0;
    std::wstring& buffer = ThreadBuffer(&kOwner);
    std::function<std::wstring(const std::wstring&)> hook;
    {
        std::lock_guard<std::mutex> guard(Lock());
        buffer = Host().currentSkin;
        hook = Host().currentSkinOverride;
    }
    if (hook) buffer = hook(buffer);
    return buffer.c_str();
}

const wchar_t* DisplayNameSlot(const wchar_t* skin) {
    static constexpr char kOwner = 0;
    std::wstring& buffer = ThreadBuffer(&kOwner);
    std::function<std::wstring(const std::wstring&)> rule;
    {
        std::lock_guard<std::mutex> guard(Lock());
        rule = Host().displayRule;
    }
    std::wstring identifier = skin != nullptr ? skin : L"";
    buffer = rule ? rule(identifier) : DefaultDisplayName(identifier);
    return buffer.c_str();
}

int ApplySkinSlot(const wchar_t* skin) {
    bool startTimer = false;
    {
        std::lock_guard<std::mutex> guard(Lock());
        State& s = Host();
        s.applied.push_back(skin != nullptr ? skin : L"");
        if (skin == nullptr) return 0;
        switch (s.applyMode) {
        case ApplyMode::Immediate:
            s.currentSkin = skin;
            break;
        case ApplyMode::Delayed:
            s.pendingApplies.push_back(
                {std::chrono::steady_clock::now() + std::chrono::milliseconds(s.applyDelay), skin,
                 s.applyGeneration});
            startTimer = true;
            break;
        case ApplyMode::Never:
            break;
        }
    }
    if (startTimer) {
        StartDelayedApplyThreadOnce();
        ApplyWake().notify_all();
    }
    return 1;
}

}  // namespace detail

namespace {

void RemoveTreeBelow(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            const DWORD attributes = entry.dwFileAttributes;
            // A link to a folder is removed, never followed.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                RemoveTreeBelow(child);
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveDirectoryW(child.c_str());
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

bool IsInsideTempFolder(const std::wstring& path) {
    wchar_t temp[MAX_PATH] = {};
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH || path.empty()) {
        return false;
    }
    std::wstring full(32768, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size() || path.find(L"..") != std::wstring::npos) {
        return false;
    }
    full.resize(length);
    const std::wstring base(temp);  // ends in a backslash
    return full.size() > base.size() &&
           CompareStringOrdinal(full.c_str(), static_cast<int>(base.size()), base.c_str(),
                                static_cast<int>(base.size()), TRUE) == CSTR_EQUAL;
}

bool RemoveTree(const std::wstring& path) {
    // Only ever below the temp folder: an empty or relative path would otherwise
    // name the current folder or the root of the drive, which under Wine is "/".
    if (!IsInsideTempFolder(path)) {
        return false;
    }
    RemoveTreeBelow(path);
    return true;
}

}  // namespace devhost
