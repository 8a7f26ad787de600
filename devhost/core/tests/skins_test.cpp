// Display names, sample skins and applying skins.
#include <set>

#include "test_util.h"

namespace {
const HostServiceTable& T() { return *devhost::Table(); }

void MakeFile(const std::wstring& path) { ASSERT_TRUE(devhost::WriteFileBytes(path, "x")) << Show(path); }
void MakeDir(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Show(path); }
}  // namespace

using DisplayNames = HostTest;

TEST_F(DisplayNames, DefaultRuleNamesOnlyRealSkins) {
    // Parent and Skins folder both hold a skin.ini, so "\.." and "\." look like
    // folder skins unless they are refused by name.
    TempFolder parent(L"names");
    const std::wstring skins = parent.path() + L"\\Skins";
    MakeDir(skins);
    MakeFile(parent.path() + L"\\skin.ini");
    MakeFile(skins + L"\\skin.ini");
    MakeFile(skins + L"\\Alpha.tskin");
    MakeFile(skins + L"\\Upper.TSKIN");
    MakeFile(skins + L"\\notes.txt");
    MakeFile(skins + L"\\Beta.tskin.bak");
    MakeFile(skins + L"\\.tskin");
    MakeDir(skins + L"\\Gamma");
    MakeFile(skins + L"\\Gamma\\skin.ini");
    MakeDir(skins + L"\\Empty");
    MakeDir(skins + L"\\Odd");
    MakeDir(skins + L"\\Odd\\skin.ini");
    MakeDir(skins + L"\\Dir.tskin");
    devhost::SetSkinsFolder(skins);

    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"Alpha.tskin", L"Alpha"},   {L"Upper.TSKIN", L"Upper"},  {L"\\Gamma", L"Gamma"},
        {L"notes.txt", L""},          {L"Beta.tskin.bak", L""},    {L".tskin", L""},
        {L"\\Empty", L""},            {L"\\Odd", L""},             {L"Dir.tskin", L""},
        {L"\\Dir.tskin", L""},        {L"\\Alpha.tskin", L""},     {L"Gamma", L""},
        {L"\\..", L""},               {L"\\.", L""},               {L"\\", L""},
        {L"", L""},                   {L"Missing.tskin", L""},     {L"Gamma\\skin.ini", L""},
        {L"\\Gamma\\", L""},          {L"..\\Skins\\Alpha.tskin", L""},
    };
    for (const auto& [identifier, name] : cases) {
        SCOPED_TRACE("identifier " + Show(identifier));
        const wchar_t* got = T().GetSkinDisplayName(identifier.c_str());
        ASSERT_NE(nullptr, got);
        EXPECT_EQ(Show(name), Show(got));
    }
    const wchar_t* forNull = T().GetSkinDisplayName(nullptr);
    ASSERT_NE(nullptr, forNull);
    EXPECT_STREQ(L"", forNull);
}

TEST_F(DisplayNames, OverrideRuleReplacesTheDefaultUntilCleared) {
    TempFolder skins(L"override");
    const std::wstring id = devhost::MakeFileSkin(skins.path(), L"Real");
    devhost::SetSkinsFolder(skins.path());
    devhost::SetDisplayNameRule([](const std::wstring& identifier) { return L"<" + identifier + L">"; });
    EXPECT_STREQ(L"<notes.txt>", T().GetSkinDisplayName(L"notes.txt"));
    devhost::SetDisplayNameRule(nullptr);
    EXPECT_STREQ(L"Real", T().GetSkinDisplayName(id.c_str()));
}

TEST_F(DisplayNames, SampleSkinsAreTwelveDistinctNamedSkins) {
    TempFolder skins(L"samples");
    devhost::SetSkinsFolder(skins.path());
    std::vector<std::wstring> ids = devhost::MakeSampleSkins(skins.path());
    EXPECT_EQ(12u, ids.size());
    std::set<std::wstring> names;
    int folders = 0;
    for (const std::wstring& id : ids) {
        SCOPED_TRACE("identifier " + Show(id));
        std::wstring name = T().GetSkinDisplayName(id.c_str());
        EXPECT_FALSE(name.empty());
        names.insert(name);
        folders += !id.empty() && id[0] == L'\\' ? 1 : 0;
    }
    EXPECT_EQ(ids.size(), names.size());
    EXPECT_GE(folders, 3);
    EXPECT_LE(folders, 9);
}

using Applying = HostTest;

TEST_F(Applying, ImmediateNeverAndTheRecordOfArguments) {
    EXPECT_EQ(1, T().ApplySkin(L"A.tskin"));
    EXPECT_EQ(L"A.tskin", devhost::CurrentSkin());
    devhost::SetApplyMode(devhost::ApplyMode::Never);
    T().ApplySkin(L"\\B");
    EXPECT_EQ(L"A.tskin", devhost::CurrentSkin());
    EXPECT_EQ(0, T().ApplySkin(nullptr));
    std::vector<std::wstring> applied = devhost::AppliedSkins();
    ASSERT_EQ(3u, applied.size());
    EXPECT_EQ(L"\\B", applied[1]);
    EXPECT_EQ(L"", applied[2]) << "a null argument is recorded as empty";
}

TEST_F(Applying, DelayedTakesEffectOnTheHostTimerAndResetCancelsIt) {
    devhost::SetCurrentSkin(L"Old.tskin");
    devhost::SetApplyMode(devhost::ApplyMode::Delayed, 150);
    T().ApplySkin(L"Cancelled.tskin");
    devhost::Reset();  // before the 150 ms are up
    devhost::SetCurrentSkin(L"Old.tskin");
    devhost::SetApplyMode(devhost::ApplyMode::Delayed, 400);
    T().ApplySkin(L"New.tskin");
    // The host's thread sets the skin, then logs it (slot -1): wait for both.
    EXPECT_TRUE(devhost::PumpUntil(
        [] { return devhost::CurrentSkin() == L"New.tskin" && devhost::CallCount(-1) > 0; }, 10000))
        << "current skin " << Show(devhost::CurrentSkin()) << ", " << devhost::CallCount(-1) << " host events";
    DWORD self = GetCurrentThreadId();
    int tookEffect = 0;
    for (const devhost::LogEntry& e : devhost::Log()) {
        if (e.name != L"SkinTookEffect") continue;
        ++tookEffect;
        EXPECT_EQ(std::vector<devhost::LogValue>{L"New.tskin"}, e.args);
        EXPECT_NE(self, e.threadId) << "takes effect on the host's own thread";
    }
    EXPECT_EQ(1, tookEffect);
}

TEST_F(Applying, OverrideChangesOnlyWhatTheSlotReports) {
    devhost::SetCurrentSkin(L"Night.tskin");
    devhost::SetCurrentSkinOverride([](const std::wstring& real) { return L"X" + real; });
    EXPECT_STREQ(L"XNight.tskin", T().GetCurrentSkin());
    EXPECT_EQ(L"Night.tskin", devhost::CurrentSkin());
    devhost::SetCurrentSkinOverride(nullptr);
    EXPECT_STREQ(L"Night.tskin", T().GetCurrentSkin());
}

TEST(RemoveTree, RemovesOnlyInsideTheTempFolder) {
    TempFolder folder(L"tree");
    const std::wstring nested = folder.path() + L"\\a\\b";
    ASSERT_TRUE(CreateDirectoryW((folder.path() + L"\\a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(nested.c_str(), nullptr));
    ASSERT_TRUE(devhost::WriteFileBytes(nested + L"\\f.txt", "x"));
    EXPECT_TRUE(devhost::RemoveTree(folder.path() + L"\\a"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder.path() + L"\\a").c_str()));

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring refused[] = {L"", L".", L"tests", L"\\", L"C:\\", L"Z:\\", temp,
                                    std::wstring(temp) + L"..", folder.path() + L"\\..\\..",
                                    L"C:\\windows"};
    for (const std::wstring& path : refused) {
        SCOPED_TRACE(Show(path));
        EXPECT_FALSE(devhost::RemoveTree(path));
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.path().c_str())) << "untouched";
}
