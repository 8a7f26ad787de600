// Costs of the skin catalog, the settings load and save, and the rotation, measured
// against the development host.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "config/settings.h"
#include "devhost/core/devhost.h"
#include "engine/rotation.h"
#include "bench_util.h"
#include "core/state.h"

namespace {

constexpr size_t kFolderEntries = 10000;
constexpr size_t kSelected = 1000;
constexpr int kRounds = 5;

// Median time of `rounds` runs of `body`, `prepare` run untimed before each.
double TimeMs(int rounds, const std::function<void()>& prepare, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        prepare();
        const double start = NowMs();
        body();
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

// The floor an enumeration cannot go below: the search, one display-name call and
// one yield per entry.
size_t BareLoop(const std::wstring& folder) {
    const HostServiceTable* host = devhost::Table();
    size_t named = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        std::wstring identifier;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) identifier.push_back(L'\\');
        identifier += found.cFileName;
        const wchar_t* name = host->GetSkinDisplayName(identifier.c_str());
        named += (name != nullptr && name[0] != 0) ? 1 : 0;
        Sleep(0);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return named;
}

void Row(const char* what, const std::string& size, double ms, const std::string& note) {
    std::printf("| %-44s | %-22s | %10.3f | %-34s |\n", what, size.c_str(), ms, note.c_str());
}

// How AdvanceToNextSkin chose before it read the folder: an existence test for every
// candidate until one is present. The index it stops on.
int32_t ProbeEachCandidate() {
    std::vector<std::wstring> identifiers;
    int32_t index = 0;
    {
        ScopedLock guard(g_state.lock);
        for (const SkinEntry& entry : g_state.allSkins) identifiers.push_back(entry.identifier);
        index = g_state.settings.rotationIndex;
    }
    const auto count = static_cast<int32_t>(identifiers.size());
    for (int32_t tries = 0; tries < count; ++tries) {
        index = index + 1 >= count ? 0 : index + 1;
        if (SkinExists(identifiers[static_cast<size_t>(index)])) break;
    }
    return index;
}

void SetSelected(size_t count, const wchar_t* tag) {
    ScopedLock guard(g_state.lock);
    g_state.settings.selectedSkins.clear();
    for (size_t i = 1; i <= count; ++i) {
        g_state.settings.selectedSkins.push_back(SkinEntry{tag + std::to_wstring(i) + L".tskin", L""});
    }
}

}  // namespace

int main() {
    devhost::Init();
    ResetPluginState();
    g_state.hostTable = devhost::Table();
    g_state.hostAccepted = 1;
    g_state.pluginId = 1;
    const std::wstring folder = MakeSkinsFolder(L"catalog", kFolderEntries);
    devhost::SetSkinsFolder(folder);

    std::printf("| %-44s | %-22s | %10s | %-34s |\n", "operation", "size", "median ms", "note");
    std::printf("|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(24, '-').c_str(),
                std::string(12, '-').c_str(), std::string(36, '-').c_str());

    // Enumeration against the bare loop, alternating so both see the same caches.
    std::vector<double> bare, enumerate;
    size_t bareNamed = 0;
    BareLoop(folder);  // warm the directory cache
    for (int i = 0; i < kRounds; ++i) {
        devhost::ClearLog();
        double start = NowMs();
        bareNamed = BareLoop(folder);
        bare.push_back(NowMs() - start);
        devhost::ClearLog();
        start = NowMs();
        RefreshAllSkins();
        enumerate.push_back(NowMs() - start);
    }
    size_t listed = 0;
    {
        ScopedLock guard(g_state.lock);
        listed = g_state.allSkins.size();
    }
    const double bareMs = Median(bare);
    const double enumMs = Median(enumerate);
    char note[64];
    Row("bare FindFirst/NextFileW + name + Sleep(0)", "10,000 entries", bareMs,
        std::to_string(bareNamed) + " named");
    std::snprintf(note, sizeof note, "%zu skins; %.2fx bare (max 1.5x)", listed, enumMs / bareMs);
    Row("EnumerateSkinsFolder", "10,000 entries", enumMs, note);

    // Save of 1,000 over a stored 1,000, then the load of it.
    size_t calls = 0;
    const double saveMs = TimeMs(
        kRounds,
        [] {
            SetSelected(kSelected, L"old ");
            SaveSettings();
            SetSelected(kSelected, L"new ");
            devhost::ClearLog();
        },
        [] { SaveSettings(); });
    calls = devhost::Log().size();
    // 12 settings, Count, one write per entry, one read and one delete for the first
    // absent key, two theme skins, the commit.
    const size_t expectedCalls = 12 + 1 + kSelected + 2 + 2 + 1;
    std::snprintf(note, sizeof note, "%zu host calls (expected %zu)", calls, expectedCalls);
    Row("SaveSettings", "1,000 over 1,000", saveMs, note);
    const double loadMs = TimeMs(kRounds, [] { devhost::ClearLog(); }, [] { LoadSettings(); });
    std::snprintf(note, sizeof note, "%zu host calls", devhost::Log().size());
    Row("LoadSettings", "1,000 selected", loadMs, note);

    // Rotation over allSkins of 10,000.
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    g_state.settings.targetSkins = RotationList::kAllSkins;
    const double advanceMs = TimeMs(
        kRounds, [] { g_state.settings.rotationIndex = 0; }, [] { AdvanceToNextSkin(); });
    Row("AdvanceToNextSkin, next skin present", "10,000", advanceMs, "1 existence test");
    // 9,999 missing before the one present skin. Before: one existence test per
    // candidate, each scanning the folder under Wine, one round. After: the advance as
    // it is, one read of the folder; both must stop on the same entry.
    auto hideAllButLast = [] {
        ScopedLock guard(g_state.lock);
        for (size_t i = 0; i + 1 < g_state.allSkins.size(); ++i) g_state.allSkins[i].identifier += L".gone";
        g_state.settings.rotationIndex = 0;
    };
    int32_t probedIndex = -1;
    const double probeEachMs = TimeMs(1, hideAllButLast, [&] { probedIndex = ProbeEachCandidate(); });
    Row("advance past 9,999 missing, before", "10,000", probeEachMs, "an existence test each");
    int32_t advancedIndex = -1;
    const double advanceMissingMs = TimeMs(kRounds, hideAllButLast, [&] {
        AdvanceToNextSkin();
        advancedIndex = g_state.settings.rotationIndex;
    });
    std::snprintf(note, sizeof note, "one folder read; %.0fx faster", probeEachMs / advanceMissingMs);
    Row("advance past 9,999 missing, after", "10,000", advanceMissingMs, note);
    const bool sameChoice = probedIndex == advancedIndex && probedIndex == static_cast<int32_t>(kFolderEntries - 1);
    if (!sameChoice) std::printf("different choices: %d before, %d after\n", probedIndex, advancedIndex);
    RefreshAllSkins();
    const double syncLastMs = TimeMs(
        kRounds,
        [] {
            ScopedLock guard(g_state.lock);
            g_state.targetSkin = g_state.allSkins.back().identifier;
            g_state.settings.rotationIndex = 0;
        },
        [] { SyncRotationIndex(); });
    Row("SyncRotationIndex, target last", "10,000", syncLastMs, "full scan");
    const double syncAbsentMs = TimeMs(
        kRounds,
        [] {
            ScopedLock guard(g_state.lock);
            g_state.targetSkin = L"absent";
            g_state.settings.rotationIndex = 0;
        },
        [] { SyncRotationIndex(); });
    Row("SyncRotationIndex, target absent", "10,000", syncAbsentMs, "full scan, first becomes target");

    RemoveSkinsFolder(folder);
    return (enumMs <= 1.5 * bareMs && calls == expectedCalls && sameChoice && advanceMissingMs <= 1000.0)
               ? 0
               : 1;
}
