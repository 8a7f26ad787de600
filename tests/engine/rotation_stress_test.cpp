// Enumerations, rotations, edits and saves on several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "catalog/catalog.h"
#include "support/host_log.h"
#include "config/settings.h"
#include "devhost/core/devhost.h"
#include "engine/rotation.h"
#include "support/plugin_fixture.h"

namespace {

constexpr size_t kFolderSkins = 40;

// Selected list number `generation`: its length and every identifier name the
// generation, so a save that mixes two lists is recognisable.
SkinList Generation(int generation) {
    SkinList list;
    const size_t length = static_cast<size_t>(generation % 7) * 3;
    for (size_t i = 0; i < length; ++i) {
        list.push_back(SkinEntry{L"g" + std::to_wstring(generation) + L"-" + std::to_wstring(i), L""});
    }
    return list;
}

// Checks one save's calls, from its ChangeMode write to its commit.
void CheckSave(const std::vector<devhost::LogEntry>& calls, size_t number) {
    SCOPED_TRACE("save " + std::to_string(number));
    ASSERT_GE(calls.size(), 17u);
    EXPECT_EQ(calls.front().name, L"WriteSettingInt");
    EXPECT_EQ(calls.back().slot, TS_SLOT_COMMIT_SETTINGS);
    // Count, then exactly that many list writes, numbered from 1.
    size_t at = 12;
    const std::vector<devhost::LogValue> countArgs = calls[at].args;
    ASSERT_EQ(countArgs.size(), 4u);
    ASSERT_EQ(std::vector<devhost::LogValue>(countArgs.begin(), countArgs.begin() + 3),
              (std::vector<devhost::LogValue>{1, L"SelectedSkins", L"Count"}));
    const int count = static_cast<int>(devhost::AsNumber(countArgs[3]).value_or(-1));
    std::wstring generation;
    for (int n = 1; n <= count; ++n) {
        const devhost::LogEntry& write = calls[++at];
        ASSERT_EQ(write.slot, TS_SLOT_WRITE_SETTING_STRING) << n;
        ASSERT_EQ(write.args.size(), 4u) << n;
        ASSERT_EQ(write.args[2], devhost::LogValue(SelectedSkinKey(static_cast<size_t>(n)))) << n;
        // "g<generation>-<position>" with the position matching the key.
        const std::wstring value = devhost::AsText(write.args[3]).value_or(L"");
        const size_t dash = value.rfind(L'-');
        ASSERT_TRUE(value.rfind(L"g", 0) == 0 && dash != std::wstring::npos) << value;
        const std::wstring gen = value.substr(1, dash - 1);
        if (n == 1) generation = gen;
        EXPECT_EQ(gen, generation) << "entries of two lists in one save";
        EXPECT_EQ(value.substr(dash + 1), std::to_wstring(n - 1));
    }
    if (count > 0) {
        EXPECT_EQ(static_cast<int>(Generation(std::stoi(generation)).size()), count)
            << "count and list taken at different moments";
    }
    // Stale pass: read, delete, pairs; then the two theme writes and the commit.
    ++at;
    while (calls[at].slot == TS_SLOT_READ_SETTING_STRING) {
        EXPECT_EQ(calls[at + 1].slot, TS_SLOT_DELETE_SETTING);
        at += 2;
    }
    EXPECT_EQ(calls.size() - at, 3u);
}

TEST_F(PluginTest, EnumerationsRotationsAndSavesTogether) {
    AttachHost();
    for (size_t i = 0; i < kFolderSkins; ++i) devhost::MakeFileSkin(skins_, L"s" + std::to_wstring(i));
    RefreshAllSkins();
    devhost::ClearLog();

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> enumerations{0}, advances{0}, saves{0}, edits{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        while (!stop) {
            RefreshAllSkins();
            ++enumerations;
        }
    });
    threads.emplace_back([&] {
        while (!stop) {
            AdvanceToNextSkin();
            SyncRotationIndex();
            ++advances;
            Sleep(1);
        }
    });
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            while (!stop) {
                SaveSettings();
                ++saves;
            }
        });
    }
    threads.emplace_back([&] {
        for (int generation = 1; !stop; ++generation) {
            SkinList list = Generation(generation);
            {
                ScopedLock guard(g_state.lock);
                g_state.settings.selectedSkins.swap(list);
            }
            g_state.settings.targetSkins = static_cast<RotationList>(generation % 2);
            ++edits;
            Sleep(0);
        }
    });
    threads.emplace_back([&] {
        while (!stop) {
            ScopedLock guard(g_state.lock);
            if (g_state.allSkins.size() != kFolderSkins) ++torn;
        }
    });
    const ULONGLONG end = GetTickCount64() + 3000;
    while (GetTickCount64() < end) Sleep(50);
    stop = true;
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(torn.load(), 0) << "a reader saw allSkins half rebuilt";
    EXPECT_GT(enumerations.load(), 1);
    EXPECT_GT(advances.load(), 1);
    EXPECT_GT(edits.load(), 1);
    ASSERT_GT(saves.load(), 1);
    // Saves asked for while one runs are made by it once more, so there are fewer.
    EXPECT_GE(devhost::CommitCount(), 1);
    EXPECT_LE(devhost::CommitCount(), saves.load());

    // Split the settings calls into saves; one save's calls come from one thread
    // without a call of another save between them.
    std::vector<devhost::LogEntry> current;
    size_t checked = 0;
    for (const devhost::LogEntry& entry : devhost::Log()) {
        if (!testlog::IsSettingsSlot(entry.slot)) continue;
        if (!current.empty()) {
            ASSERT_EQ(entry.threadId, current.front().threadId) << "saves interleaved";
        }
        current.push_back(entry);
        if (entry.slot == TS_SLOT_COMMIT_SETTINGS) {
            CheckSave(current, ++checked);
            current.clear();
        }
    }
    EXPECT_TRUE(current.empty());
    EXPECT_EQ(checked, static_cast<size_t>(devhost::CommitCount()));
    EXPECT_EQ(devhost::UnexpectedCalls(), 0);
}

}  // namespace
