// The core's clock and its waits that keep answering sent messages.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/message_wait.h"
#include "support/time_util.h"

namespace {

TEST(Clock, ReadingsThatGoBackAreHeldAtTheHighestSoFar) {
    std::atomic<int64_t> highest{INT64_MIN};
    const struct {
        int64_t reading, expected;
    } steps[] = {{500, 500}, {300, 500}, {500, 500}, {900, 900}, {-7, 900}, {901, 901}};
    for (const auto& step : steps) {
        EXPECT_EQ(step.expected, NotBefore(highest, step.reading)) << "reading " << step.reading;
    }

    // Across threads, each with readings that go back by turns.
    std::atomic<int64_t> shared{INT64_MIN};
    std::atomic<int> backwards{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            int64_t last = INT64_MIN;
            for (int64_t i = 0; i < 20000; ++i) {
                const int64_t raw = i * 4 + t - (i % 3 == 0 ? 1000 : 0);
                const int64_t now = NotBefore(shared, raw);
                if (now < last) ++backwards;
                last = now;
            }
        });
    }
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(0, backwards.load());
}

TEST(Clock, CounterInNanosecondsOrTheTickCountWhenItCannotBeRead) {
    const struct {
        const char* name;
        int64_t counter, frequency;
        uint64_t tickMs;
        int64_t expected;
    } cases[] = {
        {"10 MHz", 25'000'001, 10'000'000, 1, 2'500'000'100},
        {"3 GHz, a year up", 94'608'000'000'000'000, 3'000'000'000, 1, 31'536'000'000'000'000},
        {"no frequency", 123, 0, 42, 42'000'000},
        {"negative frequency", 123, -5, 42, 42'000'000},
        {"negative counter", -1, 10'000'000, 7, 7'000'000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CounterNs(c.counter, c.frequency, c.tickMs)) << c.name;
    }
}

TEST(Clock, SystemClockNeverGoesBackAcrossThreadsAndAdvances) {
    ASSERT_EQ(g_clock.monotonicNs, kSystemClock.monotonicNs);
    std::atomic<int> backwards{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            int64_t last = MonotonicNowNs();
            for (int i = 0; i < 20000; ++i) {
                const int64_t now = MonotonicNowNs();
                if (now < last) ++backwards;
                last = now;
            }
        });
    }
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(backwards.load(), 0);

    const int64_t start = MonotonicNowNs();
    EXPECT_GT(start, 0);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    int64_t now = start;
    while (now - start < 20'000'000 && GetTickCount64() < deadline) {
        Sleep(1);
        now = MonotonicNowNs();
    }
    EXPECT_GE(now - start, 20'000'000) << "the clock did not advance 20 ms in 5 s";

    SYSTEMTIME local{};
    LocalTimeNow(&local);
    EXPECT_GE(local.wYear, 2024) << Describe(local);
}


// A window of this thread that counts the messages it is handed.
class CountingWindow {
public:
    CountingWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == WM_APP) {
                ++sent;
                return 7;
            }
            if (message == WM_APP + 1) {
                ++posted;
                return 0;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VarnelWaitTest";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        sent = 0;
        posted = 0;
    }
    ~CountingWindow() {
        DestroyWindow(window);
        UnregisterClassW(L"VarnelWaitTest", GetModuleHandleW(nullptr));
    }
    HWND window = nullptr;
    static inline std::atomic<int> sent{0};
    static inline std::atomic<int> posted{0};
};

// CPU time this thread has used, in milliseconds.
double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

bool Never() { return false; }
bool Always() { return true; }

TEST(MessageWait, AnswersSentMessagesLeavesPostedOnesQueuedAndEndsWhenSignalled) {
    CountingWindow counting;
    ASSERT_NE(nullptr, counting.window) << GetLastError();
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PostMessageW(counting.window, WM_APP + 1, 0, 0);
    LRESULT answer = 0;
    std::thread sender([&] {
        answer = SendMessageW(counting.window, WM_APP, 0, 0);  // returns only once answered
        SetEvent(done);
    });
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(WaitServingSentMessages(done, 5000)) << "waited " << GetTickCount64() - start << " ms";
    sender.join();
    EXPECT_EQ(7, answer);
    EXPECT_EQ(1, CountingWindow::sent.load());
    EXPECT_EQ(0, CountingWindow::posted.load()) << "a posted message was dispatched";
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, counting.window, WM_APP + 1, WM_APP + 1, PM_REMOVE));

    // With posted messages wanted, they are dispatched as well.
    ResetEvent(done);
    PostMessageW(counting.window, WM_APP + 1, 0, 0);
    std::thread setter([&] {
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (CountingWindow::posted.load() == 0 && GetTickCount64() < deadline) Sleep(1);
        SetEvent(done);
    });
    EXPECT_TRUE(WaitServingMessages(done, 5000, &Always));
    setter.join();
    EXPECT_EQ(1, CountingWindow::posted.load());
    CloseHandle(done);
}

// A wait spends its time blocked, not looping: a wait that spun would use a whole core.
TEST(MessageWait, WaitsUntilTheTimeoutWithoutSpinning) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const struct {
        const char* name;
        std::function<bool()> wait;
    } waits[] = {
        {"sent only", [&] { return WaitServingSentMessages(never, 300); }},
        {"posted wanted", [&] { return WaitServingMessages(never, 300, &Always); }},
        {"posted not wanted", [&] { return WaitServingMessages(never, 300, &Never); }},
        {"until a condition", [] { return WaitServingSentMessagesUntil(&Never, 300); }},
    };
    for (const auto& w : waits) {
        const double cpuBefore = ThreadCpuMs();
        const ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(w.wait()) << w.name;
        const ULONGLONG waited = GetTickCount64() - start;
        const double cpu = ThreadCpuMs() - cpuBefore;
        EXPECT_GE(waited, 290u) << w.name;
        EXPECT_LT(waited, 3000u) << w.name;
        EXPECT_LT(cpu, 60.0) << w.name << ": " << cpu << " ms of CPU in " << waited << " ms";
    }
    CloseHandle(never);
}

}  // namespace
