#include "core/host.h"

#include <climits>

#include "core/session.h"
#include "core/state.h"

namespace host {
namespace {

// The table, for a caller whose session is still the live one.
const HostServiceTable* Table() {
    if (!g_state.hostAccepted || !CallerSessionLive()) {
        return nullptr;
    }
    return g_state.hostTable.load();
}

// The slot `member` of the accepted table, or null.
template <typename Slot>
Slot Get(Slot HostServiceTable::*member) {
    const HostServiceTable* table = Table();
    return table != nullptr ? table->*member : nullptr;
}

// Counts a call from before its session check until it returns, so that shut-down can
// wait for a call that passed the check just before the session ended, and a turn of
// an ended session is not passed on while its holder is still in the host.
class Calling {
public:
    Calling() {
        ++g_state.callsInFlight;
        CountHostCall(+1);
    }
    ~Calling() {
        CountHostCall(-1);
        --g_state.callsInFlight;
    }
    Calling(const Calling&) = delete;
    Calling& operator=(const Calling&) = delete;
};

std::wstring Copy(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

}  // namespace

bool Accept(const HostServiceTable* table) {
    g_state.hostAccepted = 0;
    g_state.hostTable = table;
    if (table == nullptr || table->GetHostVersion == nullptr ||
        table->GetHostVersion() < TS_REQUIRED_HOST_VERSION) {
        return false;
    }
    g_state.hostAccepted = 1;
    return true;
}

void Release() { g_state.hostAccepted = 0; }

bool Accepted() { return Table() != nullptr; }

bool CanReadSettings() {
    const HostServiceTable* table = Table();
    return table != nullptr && table->ReadSettingInt != nullptr &&
           table->ReadSettingString != nullptr;
}

bool CanWriteSettings() {
    const HostServiceTable* table = Table();
    return CanReadSettings() && table->WriteSettingInt != nullptr &&
           table->WriteSettingString != nullptr && table->DeleteSetting != nullptr &&
           table->CommitSettings != nullptr;
}

int32_t ReadInt(int32_t id, const wchar_t* section, const wchar_t* key, int32_t fallback) {
    const Calling calling;
    auto read = Get(&HostServiceTable::ReadSettingInt);
    return read != nullptr ? read(id, section, key, fallback) : fallback;
}

std::wstring ReadString(int32_t id, const wchar_t* section, const wchar_t* key) {
    const Calling calling;
    auto read = Get(&HostServiceTable::ReadSettingString);
    return read != nullptr ? Copy(read(id, section, key)) : std::wstring();
}

void WriteInt(int32_t id, const wchar_t* section, const wchar_t* key, int32_t value) {
    const Calling calling;
    if (auto write = Get(&HostServiceTable::WriteSettingInt)) {
        write(id, section, key, value);
    }
}

void WriteString(int32_t id, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    const Calling calling;
    if (auto write = Get(&HostServiceTable::WriteSettingString)) {
        write(id, section, key, value);
    }
}

void DeleteSetting(int32_t id, const wchar_t* section, const wchar_t* key) {
    const Calling calling;
    if (auto erase = Get(&HostServiceTable::DeleteSetting)) {
        erase(id, section, key);
    }
}

void CommitSettings(int32_t id) {
    const Calling calling;
    if (auto commit = Get(&HostServiceTable::CommitSettings)) {
        commit(id);
    }
}

std::wstring SkinsFolder() {
    const Calling calling;
    auto folder = Get(&HostServiceTable::GetSkinsFolder);
    return folder != nullptr ? Copy(folder()) : std::wstring();
}

std::wstring CurrentSkin() {
    const Calling calling;
    auto current = Get(&HostServiceTable::GetCurrentSkin);
    return current != nullptr ? Copy(current()) : std::wstring();
}

bool CanNameSkins() { return Get(&HostServiceTable::GetSkinDisplayName) != nullptr; }

std::wstring SkinDisplayName(const std::wstring& identifier) {
    const Calling calling;
    auto name = Get(&HostServiceTable::GetSkinDisplayName);
    return name != nullptr ? Copy(name(identifier.c_str())) : std::wstring();
}

void ApplySkin(const std::wstring& identifier) {
    const Calling calling;
    if (auto apply = Get(&HostServiceTable::ApplySkin)) {
        apply(identifier.c_str());
    }
}

bool CanReadItemBehavior() { return Get(&HostServiceTable::GetItemParamInt) != nullptr; }

int32_t ItemParamInt(uint32_t itemId, int32_t fallback) {
    const Calling calling;
    auto read = Get(&HostServiceTable::GetItemParamInt);
    return read != nullptr ? read(itemId, 0, fallback) : fallback;
}

bool ItemParamString(uint32_t itemId, std::wstring* value) {
    const Calling calling;
    auto read = Get(&HostServiceTable::GetItemParamString);
    const wchar_t* stored = read != nullptr ? read(itemId, 0) : nullptr;
    if (stored == nullptr) {
        return false;
    }
    value->assign(stored);
    return true;
}

void SetItemParamInt(uint32_t itemId, int32_t value) {
    const Calling calling;
    if (auto write = Get(&HostServiceTable::SetItemParamInt)) {
        write(itemId, 0, value);
    }
}

void SetItemParamString(uint32_t itemId, const wchar_t* value) {
    const Calling calling;
    if (auto write = Get(&HostServiceTable::SetItemParamString)) {
        write(itemId, 0, value);
    }
}

void LoadText(UINT stringId, wchar_t* buffer, size_t capacity) {
    const Calling calling;
    if (buffer == nullptr || capacity == 0) {
        return;
    }
    buffer[0] = L'\0';
    if (auto load = Get(&HostServiceTable::LoadLocalizedString)) {
        const int units = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
        load(g_state.moduleHandle, stringId, buffer, units);
    }
    buffer[capacity - 1] = L'\0';  // a host that filled the whole buffer
}

INT_PTR ShowDialog(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param) {
    const Calling calling;
    auto show = Get(&HostServiceTable::ShowLocalizedDialog);
    return show != nullptr ? show(g_state.moduleHandle, dialogId, owner, proc, param) : 0;
}

void SetCaption(const wchar_t* text) {
    const Calling calling;
    if (auto set = Get(&HostServiceTable::SetPluginCaption)) {
        set(g_state.pluginId.load(), text);
    }
}

}  // namespace host
