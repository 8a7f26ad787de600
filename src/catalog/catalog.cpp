// The skin catalog.
//
// 1. An identifier is a file's name, or a backslash and a folder's name, relative to
//    the host's Skins folder; the host's display name alone decides what is a skin.
// 2. Every entry of the folder search is examined, the first included; "." and ".."
//    are never identifiers.
// 3. Folder paths of any length work: a path that does not fit in MAX_PATH goes to
//    Windows in its "\\?\" form, for the search and for the existence test alike.
// 4. The new list is built aside, with every host call outside the lock, and
//    replaces allSkins in one step: readers see the old list or the new one.
// 5. Only one enumeration runs at a time; a second one returns at once.
#include "catalog/catalog.h"

#include <shlwapi.h>

#include <utility>

#include "engine/rotation.h"
#include "plugin/state.h"
#include "plugin/threads.h"

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
    std::wstring normal = path;
    for (wchar_t& c : normal) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    // The long form skips Windows' clean-up, so doubled separators must go here.
    std::wstring tidy;
    tidy.reserve(normal.size());
    for (size_t i = 0; i < normal.size(); ++i) {
        if (i > 1 && normal[i] == L'\\' && tidy.back() == L'\\') {
            continue;
        }
        tidy.push_back(normal[i]);
    }
    if (tidy.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + tidy.substr(2);
    }
    return L"\\\\?\\" + tidy;
}

namespace {

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

std::wstring SkinsFolder(const HostServiceTable* host) {
    return host->GetSkinsFolder != nullptr ? CopyHostString(host->GetSkinsFolder())
                                           : std::wstring();
}

// Builds the folder's skin list into `skins`; false when the search could not start
// or was abandoned at shut-down.
bool ReadSkinsFolder(const HostServiceTable* host, SkinList* skins) {
    const std::wstring folder = SkinsFolder(host);
    // An empty path would search the current drive's root.
    if (folder.empty() || host->GetSkinDisplayName == nullptr) {
        return false;
    }
    const std::wstring pattern = WindowsPathForm(JoinPath(folder, L"*.*"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool complete = true;
    do {
        if (IsDotEntry(found.cFileName)) {
            continue;
        }
        if (g_state.shuttingDown.load() != 0) {
            complete = false;
            break;
        }
        found.cFileName[MAX_PATH - 1] = L'\0';
        std::wstring identifier;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            identifier.push_back(L'\\');
        }
        identifier += found.cFileName;
        std::wstring displayName = CopyHostString(host->GetSkinDisplayName(identifier.c_str()));
        if (!displayName.empty()) {
            skins->push_back(SkinEntry{std::move(identifier), std::move(displayName)});
        }
        Sleep(0);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return complete;
}

}  // namespace

void EnumerateSkinsFolder() {
    if (g_state.enumerating.exchange(1) != 0) {
        return;
    }
    const HostServiceTable* host = AcceptedHost();
    SkinList skins;
    if (host != nullptr && ReadSkinsFolder(host, &skins)) {
        {
            ScopedLock guard(g_state.lock);
            g_state.allSkins.swap(skins);
        }
        if (ActiveListIsAllSkins()) {
            SyncRotationIndex();
        }
    } else if (host != nullptr && g_state.shuttingDown.load() == 0) {
        // The search could not start: the folder holds no skins we can reach.
        ScopedLock guard(g_state.lock);
        g_state.allSkins.swap(skins);
    }
    g_state.enumerating.exchange(0);
    // `skins` now holds the replaced list and is freed here, outside the lock.
}

DWORD WINAPI EnumerationThreadProc(LPVOID unused) {
    (void)unused;
    EnumerateSkinsFolder();
    ExitModuleThread(0);
}

int SkinExists(const std::wstring& identifier) {
    if (identifier.empty()) {
        return 0;
    }
    const HostServiceTable* host = AcceptedHost();
    if (host == nullptr) {
        return 0;
    }
    const std::wstring folder = SkinsFolder(host);
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
