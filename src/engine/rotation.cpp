// The rotation order.
//
// 1. The active list is selectedSkins when periodic mode walks the user's list, else
//    allSkins; it is chosen afresh at every call.
// 2. rotationIndex outside 0..count-1 (a stored negative Index included) is out of
//    range for both operations; identifiers compare exactly, case included.
// 3. AdvanceToNextSkin copies what it needs under the lock, asks the file system
//    outside it, and writes rotationIndex and targetSkin back together; the host is
//    called only after the lock is released. Past a missing skin it reads the folder
//    once rather than probing every further candidate.
// 4. SyncRotationIndex never calls out and runs wholly under the lock; so does the
//    realignment of RequestSkinAtItsPosition, which then calls the host outside it.
#include "engine/rotation.h"

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/folder_listing.h"
#include "core/host.h"
#include "core/session.h"
#include "core/threads.h"

namespace {

// The next position after `index` in a list of `count`, wrapping; any position out
// of range starts again at 0.
int32_t NextPosition(int32_t index, size_t count) {
    const int64_t next = static_cast<int64_t>(index) + 1;
    if (next < 0 || static_cast<uint64_t>(next) >= count) {
        return 0;
    }
    return static_cast<int32_t>(next);
}

void ApplyAndMarkPending(const std::wstring& identifier) {
    host::ApplySkin(identifier);
    g_state.switchPending.store(1);
}

}  // namespace

bool ActiveListIsAllSkinsLocked() {
    return g_state.settings.changeMode == ChangeMode::kThemeSync ||
           g_state.settings.targetSkins == RotationList::kAllSkins;
}

const SkinList& ActiveListLocked() {
    return ActiveListIsAllSkinsLocked() ? g_state.allSkins : g_state.settings.selectedSkins;
}

void AdvanceToNextSkin() {
    std::vector<std::wstring> identifiers;
    int32_t index = 0;
    {
        ScopedLock guard(g_state.lock);
        const SkinList& list = ActiveListLocked();
        if (list.empty()) {
            return;
        }
        identifiers.reserve(list.size());
        for (const SkinEntry& entry : list) {
            identifiers.push_back(entry.identifier);
        }
        index = g_state.settings.rotationIndex;
    }

    const size_t count = identifiers.size();
    ExistenceRun run;
    bool found = false;
    for (size_t tries = 0; tries < count && !found; ++tries) {
        index = NextPosition(index, count);
        found = SkinExistsInRun(run, identifiers[static_cast<size_t>(index)]);
    }

    // Copies are made before anything changes, so running out of memory leaves the
    // switch either wholly requested or not at all.
    std::wstring requested = found ? identifiers[static_cast<size_t>(index)] : std::wstring();
    std::wstring target = requested;
    {
        ScopedLock guard(g_state.lock);
        if (!found) {
            requested = g_state.targetSkin;  // asked for again
        } else {
            const std::wstring& chosen = requested;
            // An enumeration may have replaced the list meanwhile; keep the index on
            // the chosen skin if it moved.
            const SkinList& list = ActiveListLocked();
            const size_t at = static_cast<size_t>(index);
            if (at >= list.size() || list[at].identifier != chosen) {
                for (size_t i = 0; i < list.size(); ++i) {
                    if (list[i].identifier == chosen) {
                        index = static_cast<int32_t>(i);
                        break;
                    }
                }
            }
            g_state.targetSkin.swap(target);
        }
        g_state.settings.rotationIndex = index;
    }
    ApplyAndMarkPending(requested);
}

namespace {

// Puts rotationIndex on targetSkin's position in `list`, or on 0 when it is out of
// range. False, with the index untouched, when it was in range and targetSkin is not
// listed. Call with the lock held.
bool AlignIndexLocked(const SkinList& list) REQUIRES(g_state.lock) {
    const int32_t index = g_state.settings.rotationIndex;
    if (index < 0 || static_cast<size_t>(index) >= list.size()) {
        g_state.settings.rotationIndex = 0;
        return true;
    }
    if (list[static_cast<size_t>(index)].identifier == g_state.targetSkin) {
        return true;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].identifier == g_state.targetSkin) {
            g_state.settings.rotationIndex = static_cast<int32_t>(i);
            return true;
        }
    }
    return false;
}

}  // namespace

void SyncRotationIndexLocked() {
    const SkinList& list = ActiveListLocked();
    if (AlignIndexLocked(list)) {
        return;
    }
    std::wstring first = list.front().identifier;  // the one step that can fail, first
    g_state.settings.rotationIndex = 0;
    g_state.targetSkin.swap(first);
}

void SyncRotationIndex() {
    ScopedLock guard(g_state.lock);
    SyncRotationIndexLocked();
}

void RequestSkinAtItsPosition(const std::wstring& identifier) {
    std::wstring target = identifier;  // copied before anything changes
    {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin.swap(target);
        if (!AlignIndexLocked(ActiveListLocked())) {
            g_state.settings.rotationIndex = 0;
        }
    }
    ApplyAndMarkPending(identifier);
}

namespace {

void RefreshInSession(uint32_t session) {
    if (!EnumerateSkinsFolder(session)) {
        return;
    }
    ScopedLock guard(g_state.lock);
    if (ActiveListIsAllSkinsLocked()) {
        SyncRotationIndexLocked();
    }
}

}  // namespace

void RefreshAllSkins() { RefreshInSession(CallerSession()); }

DWORD WINAPI EnumerationThreadProc(LPVOID session) {
    const auto number = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(session));
    ActForSession(number);
    try {
        RefreshInSession(number);
    } catch (...) {
        // Out of memory: allSkins keeps the list it had.
    }
    ExitModuleThread(0);
}

void RequestSkin(const std::wstring& identifier) {
    std::wstring target = identifier;  // copied before anything changes
    {
        ScopedLock guard(g_state.lock);
        g_state.targetSkin.swap(target);
    }
    ApplyAndMarkPending(identifier);
}
