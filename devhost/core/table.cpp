// The service table: every slot waits out the call delay, does its work and logs the
// call with its arguments and result; while marshalling is on, it does so on the UI
// thread (marshal.cpp).
#include <type_traits>
#include <utility>

#include "devhost/core/state.h"

namespace devhost {
namespace detail {
namespace {

uint32_t GetHostVersion() {
    BlockForCallDelay();
    uint32_t version;
    {
        std::lock_guard<std::mutex> guard(Lock());
        version = Host().hostVersion;
    }
    Record(0, L"GetHostVersion", {}, {LogHex{version}});
    return version;
}

const wchar_t* GetSkinsFolder() {
    BlockForCallDelay();
    const wchar_t* folder = SkinsFolderSlot();
    Record(32, L"GetSkinsFolder", {}, {Text(folder)});
    return folder;
}

const wchar_t* GetCurrentSkin() {
    BlockForCallDelay();
    const wchar_t* skin = CurrentSkinSlot();
    Record(33, L"GetCurrentSkin", {}, {Text(skin)});
    return skin;
}

const wchar_t* GetSkinDisplayName(const wchar_t* skin) {
    BlockForCallDelay();
    const wchar_t* name = DisplayNameSlot(skin);
    Record(34, L"GetSkinDisplayName", {Text(skin)}, {Text(name)});
    return name;
}

int ApplySkin(const wchar_t* skin) {
    BlockForCallDelay();
    int result = ApplySkinSlot(skin);
    Record(35, L"ApplySkin", {Text(skin)}, {result});
    return result;
}

int LoadLocalizedString(HMODULE module, UINT stringId, wchar_t* buffer, int capacity) {
    BlockForCallDelay();
    int result = LoadStringSlot(module, stringId, buffer, capacity);
    Record(48, L"LoadLocalizedString", {Hex(module), stringId, capacity},
           {result, result > 0 ? std::wstring(buffer) : std::wstring()});
    return result;
}

INT_PTR ShowLocalizedDialog(HMODULE module, UINT dialogId, HWND owner, DLGPROC proc, LPARAM param) {
    BlockForCallDelay();
    // Logged on opening so that dialogs opened from within it come after it.
    Record(49, L"ShowLocalizedDialog", {Hex(module), dialogId, Hex(owner), static_cast<int64_t>(param)}, {});
    INT_PTR result = ShowDialogSlot(module, dialogId, owner, proc, param);
    Record(-1, L"DialogClosed", {dialogId}, {static_cast<int64_t>(result)});
    return result;
}

int SetPluginCaption(int32_t pluginId, const wchar_t* text) {
    BlockForCallDelay();
    int result = 0;
    if (text != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        Host().captions[pluginId] = text;
        result = 1;
    }
    Record(64, L"SetPluginCaption", {pluginId, Text(text)}, {result});
    return result;
}

int WriteSettingInt(int32_t pluginId, const wchar_t* section, const wchar_t* key, int32_t value) {
    BlockForCallDelay();
    int result = 0;
    if (key != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        Host().store[KeyOf(pluginId, section, key)] = value;
        result = 1;
    }
    Record(65, L"WriteSettingInt", {pluginId, Text(section), Text(key), value}, {result});
    return result;
}

int WriteSettingString(int32_t pluginId, const wchar_t* section, const wchar_t* key,
                       const wchar_t* value) {
    BlockForCallDelay();
    int result = 0;
    if (key != nullptr && value != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        Host().store[KeyOf(pluginId, section, key)] = std::wstring(value);
        result = 1;
    }
    Record(66, L"WriteSettingString", {pluginId, Text(section), Text(key), Text(value)}, {result});
    return result;
}

int32_t ReadSettingInt(int32_t pluginId, const wchar_t* section, const wchar_t* key,
                       int32_t defaultValue) {
    BlockForCallDelay();
    int32_t result = defaultValue;
    if (key != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        auto it = Host().store.find(KeyOf(pluginId, section, key));
        if (it != Host().store.end() && std::holds_alternative<int32_t>(it->second))
            result = std::get<int32_t>(it->second);
    }
    Record(67, L"ReadSettingInt", {pluginId, Text(section), Text(key), defaultValue}, {result});
    return result;
}

const wchar_t* ReadSettingString(int32_t pluginId, const wchar_t* section, const wchar_t* key) {
    BlockForCallDelay();
    static constexpr char kOwner = 0;
    std::wstring& buffer = ThreadBuffer(&kOwner);
    buffer.clear();
    if (key != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        auto it = Host().store.find(KeyOf(pluginId, section, key));
        if (it != Host().store.end() && std::holds_alternative<std::wstring>(it->second))
            buffer = std::get<std::wstring>(it->second);
    }
    Record(68, L"ReadSettingString", {pluginId, Text(section), Text(key)}, {buffer});
    return buffer.c_str();
}

int CommitSettings(int32_t pluginId) {
    BlockForCallDelay();
    {
        std::lock_guard<std::mutex> guard(Lock());
        ++Host().commits;
    }
    int result = Persist() ? 1 : 0;
    Record(69, L"CommitSettings", {pluginId}, {result});
    return result;
}

int SetItemParamInt(uint32_t itemId, int32_t paramIndex, int32_t value) {
    BlockForCallDelay();
    {
        std::lock_guard<std::mutex> guard(Lock());
        Host().itemInts[ItemKey{itemId, paramIndex}] = value;
    }
    // The launcher keeps item parameters at once; there is no commit for them.
    Persist();
    Record(70, L"SetItemParamInt", {itemId, paramIndex, value}, {1});
    return 1;
}

int SetItemParamString(uint32_t itemId, int32_t paramIndex, const wchar_t* value) {
    BlockForCallDelay();
    int result = 0;
    if (value != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        Host().itemStrings[ItemKey{itemId, paramIndex}] = value;
        result = 1;
    }
    if (result != 0) Persist();
    Record(71, L"SetItemParamString", {itemId, paramIndex, Text(value)}, {result});
    return result;
}

int32_t GetItemParamInt(uint32_t itemId, int32_t paramIndex, int32_t defaultValue) {
    BlockForCallDelay();
    int32_t result = defaultValue;
    {
        std::lock_guard<std::mutex> guard(Lock());
        auto it = Host().itemInts.find(ItemKey{itemId, paramIndex});
        if (it != Host().itemInts.end()) result = it->second;
    }
    Record(72, L"GetItemParamInt", {itemId, paramIndex, defaultValue}, {result});
    return result;
}

const wchar_t* GetItemParamString(uint32_t itemId, int32_t paramIndex) {
    BlockForCallDelay();
    static constexpr char kOwner = 0;
    std::wstring& buffer = ThreadBuffer(&kOwner);
    const wchar_t* result = nullptr;
    {
        std::lock_guard<std::mutex> guard(Lock());
        auto it = Host().itemStrings.find(ItemKey{itemId, paramIndex});
        if (it != Host().itemStrings.end()) {
            buffer = it->second;
            result = buffer.c_str();
        }
    }
    Record(73, L"GetItemParamString", {itemId, paramIndex}, {Text(result)});
    return result;
}

int DeleteSetting(int32_t pluginId, const wchar_t* section, const wchar_t* key) {
    BlockForCallDelay();
    int result = 0;
    if (key != nullptr) {
        std::lock_guard<std::mutex> guard(Lock());
        result = Host().store.erase(KeyOf(pluginId, section, key)) != 0 ? 1 : 0;
    }
    Record(74, L"DeleteSetting", {pluginId, Text(section), Text(key)}, {result});
    return result;
}

// The slot as the plug-in calls it: its entry hooks run on the calling thread, then it
// is marked as a host call, and sent to the UI thread while marshalling is on.
template <int Number, auto Slot>
struct Served;

template <int Number, typename R, typename... A, R (*Slot)(A...)>
struct Served<Number, Slot> {
    static constexpr char kCopyOwner = 0;
    static R Call(A... args) {
        EnterSlot(Number);
        HostCallScope scope;
        R result{};
        const bool marshalled = RunOnUiThread([&] {
            HostCallScope served;
            result = Slot(args...);
        });
        if (!marshalled) {
            return Slot(args...);
        }
        if constexpr (std::is_same_v<R, const wchar_t*>) {
            // The UI thread's buffer is its own; the caller gets a copy of its own.
            std::wstring& copy = ThreadBuffer(&kCopyOwner);
            if (result == nullptr) {
                return nullptr;
            }
            copy = result;
            return copy.c_str();
        } else {
            return result;
        }
    }
};

// One distinct function per unused slot, so the log tells which slot was called.
template <int Slot>
intptr_t Unexpected() {
    BlockForCallDelay();
    {
        std::lock_guard<std::mutex> guard(Lock());
        ++Host().unexpectedCalls;
    }
    Record(Slot, L"unexpected", {LogNote{L"unexpected call of slot " + std::to_wstring(Slot)}}, {0});
    return 0;
}

template <int First, size_t... I>
void FillUnexpected(void** slots, std::index_sequence<I...>) {
    ((slots[I] = reinterpret_cast<void*>(&Unexpected<First + static_cast<int>(I)>)), ...);
}

HostServiceTable BuildTable() {
    HostServiceTable t{};
    t.GetHostVersion = &Served<0, &GetHostVersion>::Call;
    FillUnexpected<1>(t.reserved1, std::make_index_sequence<31>{});
    t.GetSkinsFolder = &Served<32, &GetSkinsFolder>::Call;
    t.GetCurrentSkin = &Served<33, &GetCurrentSkin>::Call;
    t.GetSkinDisplayName = &Served<34, &GetSkinDisplayName>::Call;
    t.ApplySkin = &Served<35, &ApplySkin>::Call;
    FillUnexpected<36>(t.reserved36, std::make_index_sequence<12>{});
    t.LoadLocalizedString = &Served<48, &LoadLocalizedString>::Call;
    t.ShowLocalizedDialog = &Served<49, &ShowLocalizedDialog>::Call;
    FillUnexpected<50>(t.reserved50, std::make_index_sequence<14>{});
    t.SetPluginCaption = &Served<64, &SetPluginCaption>::Call;
    t.WriteSettingInt = &Served<65, &WriteSettingInt>::Call;
    t.WriteSettingString = &Served<66, &WriteSettingString>::Call;
    t.ReadSettingInt = &Served<67, &ReadSettingInt>::Call;
    t.ReadSettingString = &Served<68, &ReadSettingString>::Call;
    t.CommitSettings = &Served<69, &CommitSettings>::Call;
    t.SetItemParamInt = &Served<70, &SetItemParamInt>::Call;
    t.SetItemParamString = &Served<71, &SetItemParamString>::Call;
    t.GetItemParamInt = &Served<72, &GetItemParamInt>::Call;
    t.GetItemParamString = &Served<73, &GetItemParamString>::Call;
    t.DeleteSetting = &Served<74, &DeleteSetting>::Call;
    return t;
}

}  // namespace
}  // namespace detail

const HostServiceTable* Table() {
    static const HostServiceTable table = detail::BuildTable();
    return &table;
}

}  // namespace devhost
