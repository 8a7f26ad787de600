// Advancing past missing skins: the one read of the folder must choose exactly what
// testing every candidate with SkinExists chooses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "devhost/core/devhost.h"
#include "engine/rotation.h"
#include "support/plugin_fixture.h"

namespace {

constexpr int kGetSkinsFolderSlot = 32;

struct Choice {
    int32_t index;
    std::wstring target;
};

class MissingSkinsTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AttachHost();
        g_state.settings.changeMode = ChangeMode::kPeriodic;
        g_state.settings.targetSkins = RotationList::kSelectedSkins;
    }

    void TearDown() override {
        devhost::SetLogObserver(nullptr);
        PluginTest::TearDown();
    }

    static void MakeFile(const std::wstring& path) {
        HANDLE file = CreateFileW(WindowsPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << "GetLastError " << GetLastError();
        CloseHandle(file);
    }
    static void MakeDirectory(const std::wstring& path) {
        ASSERT_TRUE(CreateDirectoryW(WindowsPathForm(path).c_str(), nullptr))
            << "GetLastError " << GetLastError();
    }

    static std::vector<std::wstring> MissingNames(int count) {
        std::vector<std::wstring> ids;
        for (int i = 0; i < count; ++i) ids.push_back(L"Missing " + std::to_wstring(i) + L".tskin");
        return ids;
    }

    static void SetSelected(const std::vector<std::wstring>& ids) {
        SkinList list;
        for (const std::wstring& id : ids) list.push_back(SkinEntry{id, L"name"});
        ScopedLock guard(g_state.lock);
        g_state.settings.selectedSkins = list;
        g_state.targetSkin = L"Before";
    }

    // The choice that testing every candidate in turn makes from `start`.
    static Choice ProbeEach(const std::vector<std::wstring>& ids, int32_t start) {
        const auto count = static_cast<int32_t>(ids.size());
        int32_t index = start;
        for (int32_t tries = 0; tries < count; ++tries) {
            index = (index + 1 >= count || index + 1 < 0) ? 0 : index + 1;
            if (SkinExists(ids[static_cast<size_t>(index)]) != 0) {
                return {index, ids[static_cast<size_t>(index)]};
            }
        }
        return {index, L"Before"};
    }

    static Choice Advance(int32_t start) {
        g_state.settings.rotationIndex = start;
        g_state.switchPending = 0;
        {
            ScopedLock guard(g_state.lock);
            g_state.targetSkin = L"Before";
        }
        AdvanceToNextSkin();
        ScopedLock guard(g_state.lock);
        return {g_state.settings.rotationIndex, g_state.targetSkin};
    }
};

// Names the file system resolves by more than a plain match, mixed with plain ones that
// differ from what is on disk only in letter case.
TEST_F(MissingSkinsTest, FolderReadChoosesWhatTestingEachCandidateChooses) {
    const std::wstring shortFolder = skins_;
    const std::wstring longFolder = skins_ + L"\\" + std::wstring(200, L'L') + L"\\" +
                                    std::wstring(120, L'M');
    MakeDirectory(skins_ + L"\\" + std::wstring(200, L'L'));
    MakeDirectory(longFolder);
    for (const std::wstring& folder : {shortFolder, longFolder}) {
        MakeFile(folder + L"\\Amber.tskin");
        MakeFile(folder + L"\\caf\x00E9.tskin");
        MakeFile(folder + L"\\\x041D\x043E\x0447\x044C.tskin");
        MakeFile(folder + L"\\Plain");
        MakeFile(folder + L"\\trailing");
        MakeFile(folder + L"\\a very long name " + std::wstring(200, L'n') + L".tskin");
        MakeDirectory(folder + L"\\Deep");
        MakeDirectory(folder + L"\\Sub");
        MakeFile(folder + L"\\Sub\\inner.tskin");
    }
    // Every candidate here but the "Present" ones is missing or answered by more than a
    // name match; the list is walked from every start.
    const std::vector<std::wstring> ids = {
        L"Gone.tskin",      L"AMBER.TSKIN",    L"\\Plain",          L"CAF\x00C9.tskin",
        L"Deep",            L"\\deep",         L"\\Amber.tskin",    L"trailing.",
        L"trailing ",       L"Sub\\inner.tskin", L"Sub/inner.tskin", L"\\Sub\\..\\Deep",
        L".",               L"..",             L"\\.",              L"NUL",
        L"con.tskin",       L"COM1",           L"AMBER~1.TSK",      L"Amb*",
        L"Amber.tskin:stream", L"\x043D\x043E\x0447\x044C.TSKIN",
        L"a very long name " + std::wstring(200, L'N') + L".TSKIN",
        L"x" + std::wstring(300, L'y'), L"",   L"\\",               L"Gone2",
    };
    for (const std::wstring& folder : {shortFolder, longFolder}) {
        SCOPED_TRACE(folder.size());
        devhost::SetSkinsFolder(folder);
        // Each present entry in turn is made the only one, so the walk must pass every
        // other candidate to reach it; then the list is walked as it is.
        for (int32_t start = -1; start < static_cast<int32_t>(ids.size()); ++start) {
            SCOPED_TRACE(start);
            SetSelected(ids);
            const Choice expected = ProbeEach(ids, start);
            const Choice got = Advance(start);
            EXPECT_EQ(got.index, expected.index) << devhost::LogQuote(got.target);
            EXPECT_EQ(got.target, expected.target) << got.index;
        }
        // Single present candidates, reached past every missing or odd one.
        for (size_t keep = 0; keep < ids.size(); ++keep) {
            std::vector<std::wstring> walk;
            for (size_t i = 0; i < ids.size(); ++i) {
                if (i == keep || SkinExists(ids[i]) == 0) walk.push_back(ids[i]);
            }
            SCOPED_TRACE(devhost::LogQuote(ids[keep]));
            SetSelected(walk);
            const Choice expected = ProbeEach(walk, 0);
            const Choice got = Advance(0);
            EXPECT_EQ(got.index, expected.index) << devhost::LogQuote(got.target);
            EXPECT_EQ(got.target, expected.target) << got.index;
        }
    }
}

TEST_F(MissingSkinsTest, SkinRemovedAfterTheFolderWasReadIsPassedOver) {
    std::vector<std::wstring> ids = MissingNames(40);
    ids[20] = devhost::MakeFileSkin(skins_, L"Listed");
    ids[30] = devhost::MakeFileSkin(skins_, L"Later");
    SetSelected(ids);
    // SkinExists of the first candidate, the folder read, then the confirmation of the
    // listed skin: it goes just before the confirmation looks.
    int folderCalls = 0;
    const std::wstring listed = skins_ + L"\\" + ids[20];
    devhost::SetLogObserver([&](const devhost::LogEntry& entry) {
        if (entry.slot == kGetSkinsFolderSlot && ++folderCalls == 3) DeleteFileW(listed.c_str());
    });
    const Choice got = Advance(0);
    devhost::SetLogObserver(nullptr);
    EXPECT_GE(folderCalls, 3);
    EXPECT_EQ(got.index, 30) << devhost::LogQuote(got.target);
    EXPECT_EQ(got.target, ids[30]);
    EXPECT_EQ(devhost::AppliedSkins(), std::vector<std::wstring>{ids[30]});
    // Per-candidate tests from the removed skin on: the remaining missing ones are
    // probed one by one, the listing no longer trusted.
    EXPECT_EQ(folderCalls, 3 + 10) << "probes after the failed confirmation";
}

TEST_F(MissingSkinsTest, OneExistenceTestWhenTheNextSkinIsPresentAndOneReadOtherwise) {
    std::vector<std::wstring> ids = MissingNames(200);
    ids[1] = devhost::MakeFileSkin(skins_, L"Next");
    ids[150] = devhost::MakeFileSkin(skins_, L"Far");
    SetSelected(ids);
    devhost::ClearLog();
    EXPECT_EQ(Advance(0).index, 1);
    EXPECT_EQ(devhost::CallCount(kGetSkinsFolderSlot), 1u) << "the next skin was present";
    devhost::ClearLog();
    EXPECT_EQ(Advance(1).index, 150);
    // The first probe, the read, the confirmation.
    EXPECT_EQ(devhost::CallCount(kGetSkinsFolderSlot), 3u);
    devhost::ClearLog();
    EXPECT_EQ(Advance(150).index, 1);
    EXPECT_EQ(devhost::CallCount(kGetSkinsFolderSlot), 3u) << "wrapping round the end";
}

}  // namespace
