// vardel_timer_rate: counts the engine timer's messages on the Windows window
// host, as the main dialog starts it (timer 1000, 5 ms), in the program's own
// window, over a number of seconds after one second to settle:
//   vardel_timer_rate [SECONDS]   prints "timer: N messages in S s"
#include <cwchar>
#include <string>

#include "app/MainDialog.h"
#include "app/resources/MainDialogTemplate.h"
#include "platform/win32/Utf8Text.h"
#include "platform/win32/Win32WindowSystem.h"

namespace {

constexpr ULONGLONG kSettleMs = 1000;
constexpr int kDefaultSeconds = 10;

class Counter : public vardel::DialogMessages {
public:
    explicit Counter(ULONGLONG lengthMs) : lengthMs_(lengthMs) {}

    int InitDialog(vardel::Window& window) override {
        window_ = &window;
        window.StartTimer(vardel::TIMER_ENGINE, vardel::kEngineTimerPeriodMs);
        start_ = ::GetTickCount64() + kSettleMs;
        return 1;
    }
    void Timer(int timer) override {
        const ULONGLONG now = ::GetTickCount64();
        if (timer != vardel::TIMER_ENGINE || now < start_) return;
        if (now >= start_ + lengthMs_) {
            window_->EndDialog(IDOK);
            return;
        }
        ++count_;
    }
    void Command(int /*id*/, int /*notification*/) override {}
    void Destroyed() override {}

    [[nodiscard]] long Count() const { return count_; }

private:
    vardel::Window* window_ = nullptr;
    ULONGLONG lengthMs_;
    ULONGLONG start_ = 0;
    long count_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int seconds =
        argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : kDefaultSeconds;
    vardel::win32::Win32WindowSystem windows;
    Counter counter(static_cast<ULONGLONG>(seconds) * 1000);
    if (windows.RunModal(vardel::kMainDialogTemplate, counter) != IDOK) return 1;
    vardel::win32::Say("timer: " + std::to_string(counter.Count()) + " messages in " +
                       std::to_string(seconds) + " s");
    return 0;
}
