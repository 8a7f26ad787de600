// One read of the Skins folder, looked up the way the file system looks names up.
#include "catalog/folder_listing.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "catalog/catalog.h"
#include "core/host.h"
#include "core/state.h"

namespace {

// Longest name one folder entry can have.
constexpr size_t kMaxNameUnits = 255;

int CompareNames(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE);
}

bool NameBefore(const ListedEntry& entry, const std::wstring& name) {
    return CompareNames(entry.name, name) == CSTR_LESS_THAN;
}

bool AsciiEqualIgnoringCase(const std::wstring& text, const wchar_t* word) {
    size_t i = 0;
    for (; word[i] != L'\0'; ++i) {
        if (i >= text.size()) {
            return false;
        }
        wchar_t c = text[i];
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
        if (c != word[i]) {
            return false;
        }
    }
    return i == text.size();
}

// CON, NUL, COM1 and the like, with or without an extension: Win32 paths ending in
// them open a device, whatever the folder holds.
bool IsDeviceName(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') {
        base.pop_back();
    }
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                              L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (AsciiEqualIgnoringCase(base, device)) {
            return true;
        }
    }
    // COM1, LPT2 and their superscript-digit forms; any fourth character counts, which
    // sends a few plain names to SkinExists for nothing worse than one probe.
    return base.size() == 4 &&
           (AsciiEqualIgnoringCase(base.substr(0, 3), L"COM") ||
            AsciiEqualIgnoringCase(base.substr(0, 3), L"LPT"));
}

// True when Windows finds `name` in a folder by matching it against the entries'
// long names alone.
bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name.size() > kMaxNameUnits || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 0x20 || c == L'\\' || c == L'/' || c == L':' || c == L'*' || c == L'?' ||
            c == L'"' || c == L'<' || c == L'>' || c == L'|' || c == L'~') {
            return false;
        }
    }
    // Win32 path parsing drops trailing dots and spaces.
    return name.back() != L'.' && name.back() != L' ' && !IsDeviceName(name);
}

// A folder path whose components Win32 parsing would rewrite ("..", a trailing dot)
// means different folders in the short and the "\\?\" form, and SkinExists uses
// either, by the length of each path.
bool IsPlainFolder(const std::wstring& folder) {
    size_t start = 0;
    while (start <= folder.size()) {
        size_t end = folder.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) {
            end = folder.size();
        }
        const std::wstring part = folder.substr(start, end - start);
        if (part == L"." || part == L".." ||
            (!part.empty() && (part.back() == L'.' || part.back() == L' '))) {
            // "\\?\" and "\\.\" prefixes are left alone by WindowsPathForm.
            if (!(start == 2 && (part == L"?" || part == L"."))) {
                return false;
            }
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

bool ReadFolderListing(FolderListing* listing) {
    listing->entries.clear();
    const std::wstring folder = host::SkinsFolder();
    if (folder.empty() || !IsPlainFolder(folder)) {
        return false;
    }
    const WalkEnd end = WalkFolder(folder, [listing](const wchar_t* name, DWORD attributes) {
        ListedEntry entry;
        entry.name = name;
        entry.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.reparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        listing->entries.push_back(std::move(entry));
        return true;
    });
    // A search that stopped early would make present skins look absent.
    if (end != WalkEnd::kWhole) {
        listing->entries.clear();
        return false;
    }
    std::sort(listing->entries.begin(), listing->entries.end(),
              [](const ListedEntry& a, const ListedEntry& b) {
                  return CompareNames(a.name, b.name) == CSTR_LESS_THAN;
              });
    return true;
}

ListedPresence LookUpListed(const FolderListing& listing, const std::wstring& identifier) {
    if (identifier.empty()) {
        return ListedPresence::Absent;
    }
    const bool folderSkin = identifier.front() == L'\\';
    const std::wstring name = folderSkin ? identifier.substr(1) : identifier;
    if (!IsPlainName(name)) {
        return ListedPresence::Unknown;
    }
    const auto& entries = listing.entries;
    const auto first = std::lower_bound(entries.begin(), entries.end(), name, NameBefore);
    if (first == entries.end() || CompareNames(first->name, name) != CSTR_EQUAL) {
        return ListedPresence::Absent;
    }
    const auto next = first + 1;
    if (first->reparsePoint || (next != entries.end() && CompareNames(next->name, name) == CSTR_EQUAL)) {
        return ListedPresence::Unknown;
    }
    return (!folderSkin || first->directory) ? ListedPresence::Present : ListedPresence::Absent;
}

bool SkinExistsInRun(ExistenceRun& run, const std::wstring& identifier) {
    using Source = ExistenceRun::Source;
    if (run.source != Source::Listing) {
        const bool exists = SkinExists(identifier) != 0;
        if (!exists && run.source == Source::NotRead) {
            run.source = ReadFolderListing(&run.listing) ? Source::Listing : Source::EachName;
        }
        return exists;
    }
    const ListedPresence presence = LookUpListed(run.listing, identifier);
    if (presence == ListedPresence::Absent) {
        return false;
    }
    if (SkinExists(identifier) != 0) {
        return true;
    }
    if (presence == ListedPresence::Present) {
        run.source = Source::EachName;
        run.listing.entries.clear();
    }
    return false;
}
