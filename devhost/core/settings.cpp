// The settings store and item parameters as the test or program sees them, and the
// hook that keeps them.
#include "devhost/core/state.h"

namespace devhost {

using detail::Host;
using detail::Lock;

void SetSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key, int32_t value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().store[detail::KeyOf(pluginId, section, key)] = value;
}

void SetSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key,
                const std::wstring& value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().store[detail::KeyOf(pluginId, section, key)] = value;
}

std::optional<int32_t> GetSettingInt(int32_t pluginId, const wchar_t* section,
                                     const std::wstring& key) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().store.find(detail::KeyOf(pluginId, section, key));
    if (it == Host().store.end() || !std::holds_alternative<int32_t>(it->second)) return std::nullopt;
    return std::get<int32_t>(it->second);
}

std::optional<std::wstring> GetSettingString(int32_t pluginId, const wchar_t* section,
                                             const std::wstring& key) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().store.find(detail::KeyOf(pluginId, section, key));
    if (it == Host().store.end() || !std::holds_alternative<std::wstring>(it->second))
        return std::nullopt;
    return std::get<std::wstring>(it->second);
}

bool EraseSetting(int32_t pluginId, const wchar_t* section, const std::wstring& key) {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().store.erase(detail::KeyOf(pluginId, section, key)) != 0;
}

std::vector<SettingEntry> Settings(int32_t pluginId) {
    std::lock_guard<std::mutex> guard(Lock());
    std::vector<SettingEntry> entries;
    for (const auto& [key, value] : Host().store) {
        if (key.pluginId == pluginId) entries.push_back(SettingEntry{key.section, key.key, value});
    }
    return entries;
}

void ClearSettings() {
    std::lock_guard<std::mutex> guard(Lock());
    Host().store.clear();
}

int CommitCount() {
    std::lock_guard<std::mutex> guard(Lock());
    return Host().commits;
}

StoreSnapshot SnapshotStore() {
    std::lock_guard<std::mutex> guard(Lock());
    const detail::State& s = Host();
    return {s.store, s.itemInts, s.itemStrings, s.currentSkin, s.language};
}

void RestoreStore(StoreSnapshot snapshot) {
    std::lock_guard<std::mutex> guard(Lock());
    detail::State& s = Host();
    s.store = std::move(snapshot.settings);
    s.itemInts = std::move(snapshot.itemInts);
    s.itemStrings = std::move(snapshot.itemStrings);
    if (snapshot.currentSkin) s.currentSkin = std::move(*snapshot.currentSkin);
    if (snapshot.language) s.language = *snapshot.language;
}

void SetPersistence(std::function<bool()> save) {
    std::function<bool()> old;  // destroyed after the lock is released
    std::lock_guard<std::mutex> guard(Lock());
    old = std::exchange(Host().persist, std::move(save));
}

bool Persist() {
    std::function<bool()> save;
    {
        std::lock_guard<std::mutex> guard(Lock());
        save = Host().persist;
    }
    return !save || save();
}

void SetItemParam(uint32_t itemId, int32_t paramIndex, int32_t value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().itemInts[{itemId, paramIndex}] = value;
}

void SetItemParam(uint32_t itemId, int32_t paramIndex, const std::wstring& value) {
    std::lock_guard<std::mutex> guard(Lock());
    Host().itemStrings[{itemId, paramIndex}] = value;
}

std::optional<int32_t> GetItemParamInt(uint32_t itemId, int32_t paramIndex) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().itemInts.find({itemId, paramIndex});
    if (it == Host().itemInts.end()) return std::nullopt;
    return it->second;
}

std::optional<std::wstring> GetItemParamString(uint32_t itemId, int32_t paramIndex) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Host().itemStrings.find({itemId, paramIndex});
    if (it == Host().itemStrings.end()) return std::nullopt;
    return it->second;
}

void ClearItemParams(uint32_t itemId) {
    std::lock_guard<std::mutex> guard(Lock());
    auto drop = [itemId](auto& map) {
        for (auto it = map.begin(); it != map.end();) {
            it = it->first.first == itemId ? map.erase(it) : std::next(it);
        }
    };
    drop(Host().itemInts);
    drop(Host().itemStrings);
}

void ClearAllItemParams() {
    std::lock_guard<std::mutex> guard(Lock());
    Host().itemInts.clear();
    Host().itemStrings.clear();
}

}  // namespace devhost
