// The Skins folder enumeration and the skin existence test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "catalog/catalog.h"
#include "engine/rotation.h"
#include "support/host_log.h"
#include "core/threads.h"
#include "devhost/core/devhost.h"
#include "support/plugin_fixture.h"

namespace {

std::vector<std::wstring> Identifiers() {
    ScopedLock guard(g_state.lock);
    std::vector<std::wstring> ids;
    for (const SkinEntry& entry : g_state.allSkins) ids.push_back(entry.identifier);
    return ids;
}

// What a bare folder search reports, as identifiers, in the search's own order.
std::vector<std::wstring> SearchOrder(const std::wstring& folder) {
    std::vector<std::wstring> ids;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return ids;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        ids.push_back(((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L"") + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return ids;
}

void MakeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "GetLastError " << GetLastError();
    CloseHandle(file);
}

size_t DisplayNameCalls() { return devhost::CallCount(TS_SLOT_GET_SKIN_DISPLAY_NAME); }

class CatalogTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AttachHost();
    }
    void TearDown() override {
        devhost::SetDisplayNameRule(nullptr);
        PluginTest::TearDown();
    }
    void SetAllSkins(const std::vector<std::wstring>& ids) {
        ScopedLock guard(g_state.lock);
        g_state.allSkins.clear();
        for (const std::wstring& id : ids) g_state.allSkins.push_back(SkinEntry{id, id});
    }
};

TEST_F(CatalogTest, FileSkinsFolderSkinsAndNonSkins) {
    const std::wstring f = devhost::MakeFileSkin(skins_, L"Fresh");
    const std::wstring d = devhost::MakeFolderSkin(skins_, L"Deep");
    MakeFile(skins_ + L"\\notes.txt");
    ASSERT_TRUE(CreateDirectoryW((skins_ + L"\\empty").c_str(), nullptr));
    RefreshAllSkins();

    std::vector<std::wstring> expected;
    for (const std::wstring& id : SearchOrder(skins_)) {
        if (id == f || id == d) expected.push_back(id);
    }
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(Identifiers(), expected);
    EXPECT_EQ(d, L"\\Deep");
    // Every entry asked about once, dot entries never.
    EXPECT_EQ(DisplayNameCalls(), 4u);
    EXPECT_FALSE(EnumerationRunning());
    ScopedLock guard(g_state.lock);
    for (const SkinEntry& entry : g_state.allSkins) {
        EXPECT_EQ(entry.displayName, devhost::DefaultDisplayName(entry.identifier));
        EXPECT_FALSE(entry.displayName.empty()) << entry.identifier.size();
    }
}

TEST_F(CatalogTest, EveryEntryCountsAndDotEntriesNever) {
    // A host that calls everything a skin: each real entry must come through, the
    // first the search delivers included, and "." and ".." must not.
    devhost::SetDisplayNameRule([](const std::wstring& id) { return L"skin " + id; });
    const std::vector<std::wstring> names = {L"a", L"b.tskin", L"c d", L".hidden"};
    for (const std::wstring& name : names) MakeFile(skins_ + L"\\" + name);
    ASSERT_TRUE(CreateDirectoryW((skins_ + L"\\sub").c_str(), nullptr));
    RefreshAllSkins();
    EXPECT_EQ(Identifiers(), SearchOrder(skins_));
    EXPECT_EQ(Identifiers().size(), 5u);
    for (const devhost::LogEntry& e : devhost::CallsOf(TS_SLOT_GET_SKIN_DISPLAY_NAME, devhost::Log())) {
        EXPECT_NE(e.args, std::vector<devhost::LogValue>{L"\\."}) << "the folder itself was examined";
        EXPECT_NE(e.args, std::vector<devhost::LogValue>{L"\\.."}) << "the parent folder was examined";
    }
}

TEST_F(CatalogTest, RootOfADriveKeepsItsFirstEntry) {
    // A drive root delivers no dot entries, so its very first entry is a real one.
    wchar_t windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 2u);
    const std::wstring root(windows, 2);  // "C:"
    devhost::SetDisplayNameRule([](const std::wstring& id) { return L"skin " + id; });
    devhost::SetSkinsFolder(root);
    RefreshAllSkins();
    const std::vector<std::wstring> expected = SearchOrder(root);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Identifiers(), expected);
    EXPECT_EQ(DisplayNameCalls(), expected.size());
}

TEST_F(CatalogTest, MissingOrEmptyFolderLeavesNoSkinsAndTheIndexAlone) {
    for (const std::wstring& folder : {skins_ + L"\\absent", std::wstring()}) {
        SCOPED_TRACE(folder.size());
        SetAllSkins({L"old"});
        g_state.settings.rotationIndex = 4;
        devhost::SetSkinsFolder(folder);
        devhost::ClearLog();
        RefreshAllSkins();
        EXPECT_TRUE(Identifiers().empty()) << Identifiers().size();
        EXPECT_EQ(g_state.settings.rotationIndex, 4);
        EXPECT_FALSE(EnumerationRunning());
        EXPECT_EQ(DisplayNameCalls(), 0u);
    }
    // The guard was released: the next enumeration runs.
    devhost::SetSkinsFolder(skins_);
    const std::wstring f = devhost::MakeFileSkin(skins_, L"Back");
    RefreshAllSkins();
    EXPECT_EQ(Identifiers(), std::vector<std::wstring>{f});
}

TEST_F(CatalogTest, ASecondEnumerationReturnsAtOnce) {
    const std::wstring p = devhost::MakeFileSkin(skins_, L"P");
    SetAllSkins({L"before"});
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    devhost::SetDisplayNameRule([&](const std::wstring& id) {
        SetEvent(entered);
        WaitForSingleObject(release, 10000);
        return devhost::DefaultDisplayName(id);
    });
    std::thread first(RefreshAllSkins);
    ASSERT_EQ(WaitForSingleObject(entered, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(testlog::StateLockIsFree()) << "lock held across GetSkinDisplayName";

    const size_t callsBefore = DisplayNameCalls();
    std::thread second(RefreshAllSkins);
    second.join();  // would hang here if it waited for the first
    EXPECT_EQ(DisplayNameCalls(), callsBefore);
    // Readers still see the whole old list while the new one is built aside.
    EXPECT_EQ(Identifiers(), std::vector<std::wstring>{L"before"});

    SetEvent(release);
    first.join();
    EXPECT_EQ(Identifiers(), std::vector<std::wstring>{p});
    EXPECT_FALSE(EnumerationRunning());
    CloseHandle(entered);
    CloseHandle(release);
}

TEST_F(CatalogTest, ResynchronisesOnlyWhenAllSkinsIsTheActiveList) {
    const std::wstring p = devhost::MakeFileSkin(skins_, L"P");
    struct Case {
        int32_t changeMode, targetSkins;
        bool resync;
    };
    for (const Case& c : {Case{0, 0, true}, Case{1, 1, true}, Case{1, 0, true}, Case{0, 1, false}}) {
        SCOPED_TRACE(std::to_string(c.changeMode) + "/" + std::to_string(c.targetSkins));
        g_state.settings.changeMode = static_cast<ChangeMode>(c.changeMode);
        g_state.settings.targetSkins = static_cast<RotationList>(c.targetSkins);
        g_state.settings.rotationIndex = 3;
        {
            ScopedLock guard(g_state.lock);
            g_state.targetSkin = L"X";
            g_state.settings.selectedSkins = {SkinEntry{L"S0", L""}, SkinEntry{L"S1", L""},
                                     SkinEntry{L"S2", L""}, SkinEntry{L"S3", L""}};
        }
        RefreshAllSkins();
        EXPECT_EQ(g_state.settings.rotationIndex, c.resync ? 0 : 3);
        ScopedLock guard(g_state.lock);
        EXPECT_EQ(g_state.targetSkin, L"X");  // index out of range: only the index is reset
    }
    // In range and not found: the first skin becomes the target, nothing is requested.
    g_state.settings.changeMode = ChangeMode::kPeriodic;
    g_state.settings.targetSkins = RotationList::kAllSkins;
    g_state.settings.rotationIndex = 0;
    devhost::ClearLog();
    RefreshAllSkins();
    ScopedLock guard(g_state.lock);
    EXPECT_EQ(g_state.targetSkin, p);
    EXPECT_EQ(devhost::ApplySkinCount(), 0);
}

TEST_F(CatalogTest, ThreadProcEnumeratesOnceAndEnds) {
    const std::wstring p = devhost::MakeFileSkin(skins_, L"P");
    HANDLE thread = StartModuleThread(&EnumerationThreadProc,
                                      reinterpret_cast<LPVOID>(static_cast<uintptr_t>(g_state.session.load())),
                                      0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Identifiers(), std::vector<std::wstring>{p});
}

TEST_F(CatalogTest, ShutDownAbandonsAnEnumerationBeforeItsNextHostCall) {
    devhost::MakeFileSkin(skins_, L"P");
    devhost::MakeFileSkin(skins_, L"Q");
    SetAllSkins({L"kept"});
    devhost::SetDisplayNameRule([](const std::wstring& id) {
        ++g_state.session;  // as a shut-down does
        return devhost::DefaultDisplayName(id);
    });
    RefreshAllSkins();
    EXPECT_EQ(DisplayNameCalls(), 1u);
    EXPECT_EQ(Identifiers(), std::vector<std::wstring>{L"kept"});
    EXPECT_FALSE(EnumerationRunning());
}

TEST_F(CatalogTest, SkinExistsLooksAtTheFileSystem) {
    devhost::MakeFileSkin(skins_, L"File");
    MakeFile(skins_ + L"\\Plain");
    ASSERT_TRUE(CreateDirectoryW((skins_ + L"\\Dir").c_str(), nullptr));
    struct Case {
        const wchar_t* id;
        int expected;
    };
    const Case cases[] = {
        {L"File.tskin", 1}, {L"Dir", 1},      {L"\\Dir", 1},     {L"\\Plain", 0},
        {L"Plain", 1},      {L"Missing", 0},  {L"\\Missing", 0}, {L"FILE.TSKIN", 1},
        {L"*", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(devhost::LogQuote(c.id));
        EXPECT_EQ(SkinExists(c.id), c.expected);
    }
    devhost::ClearLog();
    EXPECT_EQ(SkinExists(L""), 0);
    EXPECT_EQ(devhost::Log().size(), 0u) << "the empty identifier needs no host";
    devhost::SetSkinsFolder(L"");
    EXPECT_EQ(SkinExists(L"Dir"), 0) << "an empty Skins folder path is no folder";
}

TEST_F(CatalogTest, LongFolderPathsWork) {
    // Folder paths around and far beyond MAX_PATH: the search and the existence test
    // must agree on what is there.
    const std::wstring longName = std::wstring(255, L'n');
    for (size_t target : {size_t{255}, size_t{256}, size_t{259}, size_t{400}, size_t{700}}) {
        SCOPED_TRACE(target);
        std::wstring folder = skins_;
        while (folder.size() + 1 + 200 < target) {
            folder += L"\\" + std::wstring(200, L'L');
            ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr) ||
                        GetLastError() == ERROR_ALREADY_EXISTS);
        }
        folder += L"\\" + std::wstring(target - folder.size() - 1, L's');
        ASSERT_EQ(folder.size(), target);
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr)) << GetLastError();
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder + L"\\Deep").c_str(), nullptr));
        MakeFile(L"\\\\?\\" + folder + L"\\Deep\\skin.ini");
        MakeFile(L"\\\\?\\" + folder + L"\\Flat.tskin");
        MakeFile(L"\\\\?\\" + folder + L"\\" + longName.substr(0, 249) + L".tskin");
        devhost::SetSkinsFolder(folder);

        RefreshAllSkins();
        std::vector<std::wstring> ids = Identifiers();
        std::sort(ids.begin(), ids.end());
        const std::vector<std::wstring> expected = {L"Flat.tskin", L"\\Deep",
                                                    longName.substr(0, 249) + L".tskin"};
        std::vector<std::wstring> sorted = expected;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(ids, sorted);
        for (const std::wstring& id : expected) EXPECT_EQ(SkinExists(id), 1) << id.size();
        devhost::SetSkinsFolder(folder + L"\\Deep\\..");
        EXPECT_EQ(SkinExists(L"Flat.tskin"), 1) << "through a \"..\" segment";
        RefreshAllSkins();
        EXPECT_EQ(Identifiers().size(), expected.size()) << "through a \"..\" segment";
        devhost::SetSkinsFolder(folder);
        EXPECT_EQ(SkinExists(L"\\Flat.tskin"), 0);
        EXPECT_EQ(SkinExists(L"Gone.tskin"), 0);
        EXPECT_EQ(SkinExists(L"Deep"), 1);
    }
}

TEST(WindowsPathForm, LongPathsTakeThePrefix) {
    const std::wstring deep = L"C:\\" + std::wstring(300, L'a');
    const std::wstring share = L"\\\\server\\share\\" + std::wstring(300, L'b');
    struct Case {
        std::wstring in, out;
    };
    const Case cases[] = {
        {L"C:\\Skins\\*.*", L"C:\\Skins\\*.*"},
        {deep, L"\\\\?\\" + deep},
        {share, L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'b')},
        {L"\\\\?\\" + deep, L"\\\\?\\" + deep},
        {L"C:/" + std::wstring(300, L'a'), L"\\\\?\\" + deep},
        {L"C:\\\\" + std::wstring(300, L'a'), L"\\\\?\\" + deep},
        {std::wstring(259, L'x'), std::wstring(259, L'x')},
        // The long form skips Windows' clean-up, so "." and ".." are resolved first.
        {deep + L"\\sub\\..", L"\\\\?\\" + deep},
        {deep + L"\\.\\x\\.\\y\\..", L"\\\\?\\" + deep + L"\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.substr(0, 20));
        EXPECT_EQ(WindowsPathForm(c.in), c.out);
    }
}

TEST_F(CatalogTest, UnusualNamesComeThroughExactly) {
    const std::vector<std::wstring> names = {
        L"Space Name", L"dots.in.the.name", L"\x041D\x043E\x0447\x044C",
        L"\x591C\x7A7A", L"\xD83C\xDF19",
    };
    std::vector<std::wstring> made;
    for (const std::wstring& name : names) made.push_back(devhost::MakeFileSkin(skins_, name));
    // The longest names a file system takes: 255 units. The full paths pass MAX_PATH.
    const std::wstring longest = std::wstring(249, L'x') + L".tskin";
    MakeFile(L"\\\\?\\" + skins_ + L"\\" + longest);
    made.push_back(longest);
    const std::wstring folder = std::wstring(255, L'z');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + skins_ + L"\\" + folder).c_str(), nullptr));
    MakeFile(L"\\\\?\\" + skins_ + L"\\" + folder + L"\\skin.ini");
    made.push_back(L"\\" + folder);
    for (const std::wstring& id : made) ASSERT_FALSE(id.empty());
    RefreshAllSkins();
    std::vector<std::wstring> ids = Identifiers();
    std::sort(ids.begin(), ids.end());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(ids, made);
    for (const std::wstring& id : made) EXPECT_EQ(SkinExists(id), 1) << id.size();
}

}  // namespace
