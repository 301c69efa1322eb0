#include "platform/web/WebWindow.h"

#include <algorithm>

#include <emscripten/emscripten.h>

#include "platform/web/PageBridge.h"

namespace vardel::web {
namespace {

// The kinds of control the page draws, by their class in the template.
constexpr int kButtonKind = 0;
constexpr int kStaticKind = 1;
constexpr int kProgressKind = 2;

int KindOf(const ControlTemplate& control) {
    if (SameText(control.windowClass, kButtonClass)) return kButtonKind;
    if (SameText(control.windowClass, kProgressClass)) return kProgressKind;
    return kStaticKind;
}

// A progress bar's range, as its control has it unless told otherwise.
constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;

}  // namespace

void WebWindow::SetControlText(int control, const char16_t* text) {
    vardel_page_set_text(control, text);
}

void WebWindow::EnableControl(int control, bool enable) { vardel_page_enable(control, enable); }

void WebWindow::SetBarPosition(int control, int position) {
    vardel_page_set_bar(control, std::clamp(position, kBarMinimum, kBarMaximum));
}

void WebWindow::StartTimer(int timer, std::uint32_t periodMs) {
    if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) {
        timers_.push_back(timer);
    }
    vardel_page_start_timer(timer, periodMs);
}

void WebWindow::SetIcon(int /*which*/, IconHandle icon) {
    vardel_page_show_icon(static_cast<int>(icon));
}

void WebWindow::EndDialog(int result) {
    ending_ = true;
    result_ = result;
}

int WebWindowSystem::RunModal(const DialogTemplate& /*dialogTemplate*/,
                              DialogMessages& /*messages*/) {
    return -1;
}

bool WebWindowSystem::Show(const DialogTemplate& dialogTemplate, DialogMessages& messages) {
    if (messages_ != nullptr) {
        return false;
    }
    vardel_page_create_window(dialogTemplate.caption, dialogTemplate.rect.width,
                              dialogTemplate.rect.height);
    for (std::size_t at = 0; at < dialogTemplate.controlCount; ++at) {
        const ControlTemplate& control = dialogTemplate.controls[at];
        vardel_page_add_control(control.id, KindOf(control), control.text, control.rect.x,
                                control.rect.y, control.rect.width, control.rect.height,
                                static_cast<int>(control.style));
    }
    messages_ = &messages;
    static_cast<void>(messages.InitDialog(window_));
    AfterMessage();
    return true;
}

void WebWindowSystem::Timer(int timer) {
    if (messages_ == nullptr) return;
    messages_->Timer(timer);
    AfterMessage();
}

void WebWindowSystem::TimersNow() {
    // A copy: a message may start another timer.
    const std::vector<int> timers = window_.Timers();
    for (const int timer : timers) {
        Timer(timer);
    }
}

void WebWindowSystem::Command(int id) {
    if (messages_ == nullptr) return;
    messages_->Command(id, BN_CLICKED);
    AfterMessage();
}

void WebWindowSystem::AfterMessage() {
    if (!window_.Ending() || messages_ == nullptr) return;
    DialogMessages* messages = messages_;
    messages_ = nullptr;
    messages->Destroyed();
    vardel_page_window_ended(window_.Result());
}

WebWindowSystem& PageWindows() {
    static WebWindowSystem windows;
    return windows;
}

}  // namespace vardel::web

// The page's events, delivered by its script.
extern "C" {

EMSCRIPTEN_KEEPALIVE void vardel_window_timer(int timer) {
    vardel::web::PageWindows().Timer(timer);
}

EMSCRIPTEN_KEEPALIVE void vardel_window_timers_now() { vardel::web::PageWindows().TimersNow(); }

EMSCRIPTEN_KEEPALIVE void vardel_window_command(int id) { vardel::web::PageWindows().Command(id); }
}
