#include "core/state.h"

PluginState g_state;

void CopyBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
    if (buffer == nullptr || capacity == 0) {
        return;
    }
    size_t n = 0;
    if (text != nullptr) {
        while (n + 1 < capacity && text[n] != L'\0') {
            buffer[n] = text[n];
            ++n;
        }
    }
    buffer[n] = L'\0';
}

void ResetPluginState() {
    PluginState& s = g_state;
    s.hostTable = nullptr;
    s.pluginId = -1;
    s.hiddenWindow = nullptr;
    s.windowAlive = 0;
    s.workerHandle = nullptr;
    s.workerRunning = 0;
    s.hostAccepted = 0;
    s.session = 0;
    s.windowModule = nullptr;
    s.changeMode = ChangeMode::kPeriodic;
    s.targetSkins = RotationList::kAllSkins;
    s.timeUnit = TimeUnit::kDays;
    s.interval = 0;
    s.changeHour = 0;
    s.changeMinute = 0;
    s.rotationIndex = 0;
    s.switchPending = 0;
    s.retryCountdown = 0;
    s.themeChangePending = 0;
    s.themeDebounceTicks = 0;
    s.enumerating = 0;
    ScopedLock guard(s.lock);
    s.lastChanged = SYSTEMTIME{};
    s.selectedSkins.clear();
    s.lightThemeSkin.clear();
    s.darkThemeSkin.clear();
    s.targetSkin.clear();
    s.nextChangeTime = SYSTEMTIME{};
    s.nextChangeValid = false;
    s.lastSwitchStamp = 0;
    s.allSkins.clear();
}
