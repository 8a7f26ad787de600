// Ground for the dialog tests: a host attached to the plug-in, skins in the host's
// Skins folder, and dialogs opened through the host's ShowLocalizedDialog with a
// script that plays the user inside the dialog's own modal loop.
#ifndef VARNEL_TEST_UI_DIALOG_TEST_H
#define VARNEL_TEST_UI_DIALOG_TEST_H

#include <functional>
#include <string>
#include <vector>

#include "resource.h"
#include "support/plugin_fixture.h"
#include "ui/dialogs.h"

class DialogTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AttachHost();
        devhost::SetDialogWatchdog(5000);
    }

    void TearDown() override {
        EXPECT_EQ(0, devhost::DialogWatchdogFired()) << "a dialog was left open by its script";
        EXPECT_EQ(0u, devhost::PendingDialogScripts()) << "a scripted dialog never opened";
        EXPECT_EQ(0, devhost::UnexpectedCalls());
        {
            ScopedLock guard(g_state.lock);
            g_state.enumerating = TurnHolder{};
        }
        PluginTest::TearDown();
    }

    // Opens a dialog through `open` (one of the plug-in's Show functions, which goes
    // through the host) and runs `script` in it.
    static INT_PTR Show(const std::function<INT_PTR()>& open,
                        const std::function<void(HWND)>& script) {
        devhost::PushDialogScript(script);
        return open();
    }

    // Makes file skins "<name>.tskin" named <name>; returns their identifiers.
    std::vector<std::wstring> MakeSkins(std::initializer_list<const wchar_t*> names) {
        std::vector<std::wstring> ids;
        for (const wchar_t* name : names) {
            ids.push_back(devhost::MakeFileSkin(skins_, name));
        }
        return ids;
    }

    // Makes allSkins exactly `skins`, in that order, and keeps the dialogs' own
    // enumeration from rebuilding it (it returns at once while another one runs).
    static void FreezeAllSkins(const SkinList& skins) {
        {
            ScopedLock guard(g_state.lock);
            g_state.allSkins = skins;
            // Held by another thread of this session, as by an enumeration running.
            g_state.enumerating = TurnHolder{true, g_state.session, 1, 0};
        }
    }

    static SkinList AllSkinsNow() {
        ScopedLock guard(g_state.lock);
        return g_state.allSkins;
    }
    static SkinList SelectedSkinsNow() {
        ScopedLock guard(g_state.lock);
        return g_state.settings.selectedSkins;
    }
    static void SetSelectedSkins(const SkinList& skins) {
        ScopedLock guard(g_state.lock);
        g_state.settings.selectedSkins = skins;
    }
};

// The row that shows `text`, or -1.
inline int RowOf(const std::vector<std::wstring>& rows, const std::wstring& text) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

inline std::vector<std::wstring> Identifiers(const SkinList& skins) {
    std::vector<std::wstring> ids;
    for (const SkinEntry& entry : skins) {
        ids.push_back(entry.identifier);
    }
    return ids;
}

inline std::vector<std::wstring> DisplayNames(const SkinList& skins) {
    std::vector<std::wstring> names;
    for (const SkinEntry& entry : skins) {
        names.push_back(entry.displayName);
    }
    return names;
}

// GoogleTest prints std::wstring values as wide literals.
using Rows = std::vector<std::wstring>;

#endif
