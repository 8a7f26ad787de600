#include "devhost/core/save_checker.h"

#include "devhost/core/text_file.h"

namespace devhost {
namespace {

bool IsSettingsSlot(int slot) { return (slot >= 65 && slot <= 69) || slot == TS_SLOT_DELETE_SETTING; }

// The stored name of the n-th selected skin: "Skin" and at least three digits.
std::wstring SkinKey(size_t n) {
    wchar_t key[32];
    swprintf(key, 32, L"Skin%03zu", n);
    return key;
}

}  // namespace

void SaveChecker::Install() {
    SetLogObserver([this](const LogEntry& entry) { OnCall(entry); });
}

void SaveChecker::Uninstall() { SetLogObserver(nullptr); }

size_t SaveChecker::SavesOnThread(DWORD threadId) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& pair : perThread_) {
        if (pair.first == threadId) return pair.second;
    }
    return 0;
}

std::vector<std::string> SaveChecker::FirstFaults() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return faultText_;
}

void SaveChecker::Fault(const std::string& what) {
    ++faults_;
    if (faultText_.size() < 10) {
        faultText_.push_back("save " + std::to_string(saves_.load() + 1) + ": " + what);
    }
    open_ = false;  // resynchronise at the next save's first call
}

void SaveChecker::OnCall(const LogEntry& entry) {
    if (!IsSettingsSlot(entry.slot)) return;
    std::lock_guard<std::mutex> guard(mutex_);
    const std::vector<LogValue>& args = entry.args;
    const LogValue absent = LogNote{};
    const LogValue& section = args.size() > 1 ? args[1] : absent;
    const std::wstring key = args.size() > 2 ? AsText(args[2]).value_or(L"") : L"";
    const std::wstring call = entry.name + L"(" + LogArgsText(args) + L")";
    if (!open_) {
        if (entry.slot != TS_SLOT_WRITE_SETTING_INT || key != L"ChangeMode" || section != LogValue(nullptr)) {
            Fault("a settings call outside a save: " + Utf8(call));
            return;
        }
        open_ = true;
        thread_ = entry.threadId;
        stage_ = Stage::Ints;
        ints_ = 0;
        count_ = -1;
        written_.clear();
        staleEnded_ = false;
        themes_ = 0;
    }
    if (entry.threadId != thread_) {
        Fault("calls of two saves interleaved: " + Utf8(call));
        return;
    }
    switch (stage_) {
    case Stage::Ints:
        if (entry.slot != TS_SLOT_WRITE_SETTING_INT) return Fault("expected an integer write, got " + Utf8(entry.name));
        if (++ints_ == 13) {
            if (section != LogValue(L"SelectedSkins") || key != L"Count") {
                return Fault("13th write is not Count");
            }
            count_ = AsNumber(args.back()).value_or(0);
            stage_ = count_ > 0 ? Stage::List : Stage::Stale;
        }
        return;
    case Stage::List:
        if (entry.slot != TS_SLOT_WRITE_SETTING_STRING || section != LogValue(L"SelectedSkins")) return Fault("list write expected");
        if (key != SkinKey(written_.size() + 1)) {
            return Fault("list key out of order: " + Utf8(key));
        }
        written_.push_back(AsText(args.back()).value_or(L""));
        if (static_cast<int64_t>(written_.size()) == count_) stage_ = Stage::Stale;
        return;
    case Stage::Stale:
        if (entry.slot == TS_SLOT_READ_SETTING_STRING) {
            if (staleEnded_) return Fault("a read after the stale pass ended");
            staleEnded_ = entry.result == std::vector<LogValue>{L""};
            return;
        }
        if (entry.slot == TS_SLOT_DELETE_SETTING) return;
        if (entry.slot != TS_SLOT_WRITE_SETTING_STRING || !staleEnded_) return Fault("stale pass cut short");
        stage_ = Stage::Theme;
        [[fallthrough]];
    case Stage::Theme:
        if (entry.slot == TS_SLOT_COMMIT_SETTINGS) {
            if (themes_ != 2) return Fault("commit before both theme writes");
            Finish();
            return;
        }
        if (entry.slot != TS_SLOT_WRITE_SETTING_STRING || section != LogValue(L"ThemeSync")) return Fault("theme write expected");
        ++themes_;
        return;
    case Stage::Done:
        return;
    }
}

void SaveChecker::Finish() {
    open_ = false;
    ++saves_;
    if (written_.size() > longest_.load()) longest_ = written_.size();
    bool counted = false;
    for (auto& pair : perThread_) {
        if (pair.first == thread_) {
            ++pair.second;
            counted = true;
        }
    }
    if (!counted) perThread_.emplace_back(thread_, 1);

    // The store as this save left it: the plug-in holds its save lock until the
    // commit returns, so no other save can have written in between.
    size_t listKeys = 0;
    bool countSeen = false;
    for (const SettingEntry& entry : Settings(pluginId_)) {
        if (!entry.section || *entry.section != L"SelectedSkins") continue;
        if (entry.key == L"Count") {
            countSeen = true;
            const auto* value = std::get_if<int32_t>(&entry.value);
            if (value == nullptr || *value != count_) {
                Fault("stored Count differs from the Count written");
            }
            continue;
        }
        ++listKeys;
        const auto* value = std::get_if<std::wstring>(&entry.value);
        bool known = false;
        for (size_t n = 1; n <= written_.size(); ++n) {
            if (entry.key == SkinKey(n)) {
                known = true;
                if (value == nullptr || *value != written_[n - 1]) {
                    Fault("stored " + Utf8(entry.key) + " differs from the value written");
                }
            }
        }
        if (!known) Fault("stale key left behind: " + Utf8(entry.key));
    }
    if (!countSeen) Fault("no Count stored");
    if (listKeys != written_.size()) Fault("stored list keys differ from Count");
}

void SaveChecker::CheckNoneOpen() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (open_) Fault("a save begun and never committed");
}

}  // namespace devhost
