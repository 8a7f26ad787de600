// The skin catalog.
//
// 1. An identifier is a file's name, or a backslash and a folder's name, relative to
//    the host's Skins folder; the host's display name alone decides what is a skin.
// 2. Every entry of the folder search is examined, the first included; "." and ".."
//    are never identifiers. The enumeration and the existence runs walk the folder with
//    the one WalkFolder, which tells a search that broke off from one that ended.
// 3. Folder paths of any length work: a path that does not fit in MAX_PATH goes to
//    Windows in its "\\?\" form, for the search and for the existence test alike.
// 4. The new list is built aside, with every host call outside the lock, and
//    replaces allSkins in one step: readers see the old list or the new one.
// 5. Only one enumeration of a session runs at a time; a second one returns at once.
// 6. An enumeration belongs to the session it started in: once a shut-down or a new
//    initialisation moves the session on, it makes no further host call, leaves
//    allSkins alone, and no longer keeps the new session's enumeration out.
#include "catalog/catalog.h"

#include <shlwapi.h>

#include <memory>
#include <utility>

#include "core/host.h"
#include "core/session.h"
#include "core/state.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    std::wstring path = folder;
    if (path.empty() || !IsSeparator(path.back())) {
        path.push_back(L'\\');
    }
    path += name;
    return path;
}

// Paths that fit in MAX_PATH with their terminator are left alone, so they keep the
// usual normalisation.
std::wstring WindowsPathForm(const std::wstring& path) {
    if (path.size() < MAX_PATH) {
        return path;
    }
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0) {
        return path;
    }
    // The long form skips Windows' own clean-up, so the path is made canonical first:
    // "." and ".." segments resolved, forward and doubled separators made single.
    const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) {
        return path;
    }
    std::wstring full(need, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (length == 0 || length >= need) {
        return path;
    }
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

namespace {

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

WalkEnd WalkFolder(const std::wstring& folder,
                   const std::function<bool(const wchar_t* name, DWORD attributes)>& visit) {
    const std::wstring pattern = WindowsPathForm(JoinPath(folder, L"*.*"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        return WalkEnd::kFailed;
    }
    std::unique_ptr<void, decltype(&FindClose)> searchGuard(search, &FindClose);
    do {
        found.cFileName[MAX_PATH - 1] = L'\0';
        if (!IsDotEntry(found.cFileName) && !visit(found.cFileName, found.dwFileAttributes)) {
            return WalkEnd::kStopped;
        }
    } while (FindNextFileW(search, &found));
    return GetLastError() == ERROR_NO_MORE_FILES ? WalkEnd::kWhole : WalkEnd::kFailed;
}

namespace {

bool SessionEnded(uint32_t session) { return g_state.session.load() != session; }

// Builds the folder's skin list into `skins`; false when the search could not start or
// broke off, or the session ended during it.
bool ReadSkinsFolder(uint32_t session, SkinList* skins) {
    const std::wstring folder = host::SkinsFolder();
    // An empty path would search the current drive's root.
    if (folder.empty() || !host::CanNameSkins()) {
        return false;
    }
    const WalkEnd end = WalkFolder(folder, [&](const wchar_t* name, DWORD attributes) {
        if (SessionEnded(session)) {
            return false;
        }
        std::wstring identifier;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            identifier.push_back(L'\\');
        }
        identifier += name;
        std::wstring displayName = host::SkinDisplayName(identifier);
        if (!displayName.empty()) {
            skins->push_back(SkinEntry{std::move(identifier), std::move(displayName)});
        }
        // A folder of thousands of skins must not starve the launcher's threads.
        Sleep(0);
        return true;
    });
    return end == WalkEnd::kWhole;
}

// Gives the enumeration turn back however the enumeration ends.
class EnumerationTurn {
public:
    // `frame`: a local of the enumerating function, naming its frame as the holder.
    explicit EnumerationTurn(const void* frame)
        : frame_(frame), mine_(TakeTurn(kEnumerationTurn, frame)) {}
    ~EnumerationTurn() {
        if (mine_) {
            GiveTurn(kEnumerationTurn, frame_);
        }
    }
    EnumerationTurn(const EnumerationTurn&) = delete;
    EnumerationTurn& operator=(const EnumerationTurn&) = delete;
    bool Mine() const { return mine_; }

private:
    const void* frame_;
    bool mine_;
};

}  // namespace

bool EnumerateSkinsFolder(uint32_t session) {
    const int frame = 0;
    EnumerationTurn turn(&frame);
    if (!turn.Mine() || SessionEnded(session) || !host::Accepted()) {
        return false;
    }
    SkinList skins;
    const bool complete = ReadSkinsFolder(session, &skins);
    // A search that could not start leaves the folder with no skins we can reach. The
    // session is asked under the lock, which every change of session takes, so an
    // ended session's list never replaces the next one's.
    {
        ScopedLock guard(g_state.lock);
        if (g_state.session != session) {
            return false;
        }
        g_state.allSkins.swap(skins);
    }
    // `skins` now holds the replaced list and is freed here, outside the lock.
    return complete;
}

int SkinExists(const std::wstring& identifier) {
    if (identifier.empty()) {
        return 0;
    }
    const std::wstring folder = host::SkinsFolder();
    if (folder.empty()) {
        return 0;
    }
    const bool folderSkin = identifier.front() == L'\\';
    const std::wstring path = folderSkin ? folder + identifier : JoinPath(folder, identifier);
    if (path.size() < MAX_PATH) {
        return folderSkin ? (PathIsDirectoryW(path.c_str()) ? 1 : 0)
                          : (PathFileExistsW(path.c_str()) ? 1 : 0);
    }
    const DWORD attributes = GetFileAttributesW(WindowsPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return 0;
    }
    return (!folderSkin || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ? 1 : 0;
}
