// The window side in the page: the dialog drawn in HTML from its template,
// its messages coming from the page's events (timer, button, keys). A page
// has no modal loop to run: Show builds the window and returns, and the
// window lives on, delivering messages, until the dialog ends it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Window.h"

namespace vardel::web {

class WebWindow : public Window {
public:
    void SetControlText(int control, const char16_t* text) override;
    void EnableControl(int control, bool enable) override;
    void SetBarPosition(int control, int position) override;
    void StartTimer(int timer, std::uint32_t periodMs) override;
    void SetIcon(int which, IconHandle icon) override;
    // The page is the window; nothing can stand above it.
    void MakeTopmost() override {}
    void EndDialog(int result) override;

    [[nodiscard]] bool Ending() const { return ending_; }
    [[nodiscard]] int Result() const { return result_; }
    [[nodiscard]] const std::vector<int>& Timers() const { return timers_; }

private:
    bool ending_ = false;
    int result_ = 0;
    std::vector<int> timers_;
};

class WebWindowSystem : public WindowSystem {
public:
    // The icon is the page's own picture; any resource number is kept.
    IconHandle LoadIcon(int resource) override { return resource; }
    // Not in a page (see above): -1, as for a window that could not be made.
    int RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) override;

    // Builds the window and gives it InitDialog; messages follows the page's
    // events from then on. False when a window is open already.
    bool Show(const DialogTemplate& dialogTemplate, DialogMessages& messages);
    [[nodiscard]] bool Open() const { return messages_ != nullptr; }

    // --- the page's events ---
    void Timer(int timer);
    // Every running timer at once: bytes have come that the dialog should
    // see now rather than at the timer's next turn.
    void TimersNow();
    void Command(int id);

private:
    // After each message: the window ends when the dialog asked for it.
    void AfterMessage();

    WebWindow window_;
    DialogMessages* messages_ = nullptr;
};

// The one window system of the page, whose events the page's script delivers.
WebWindowSystem& PageWindows();

}  // namespace vardel::web
