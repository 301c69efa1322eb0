#include "platform/fake/FakeWindow.h"

#include <algorithm>

namespace vardel {

namespace {
constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;
}  // namespace

void FakeWindow::Open(const DialogTemplate& dialogTemplate, DialogMessages& messages) {
    openTemplate = &dialogTemplate;
    controls.clear();
    for (std::size_t i = 0; i < dialogTemplate.controlCount; ++i) {
        const ControlTemplate& c = dialogTemplate.controls[i];
        controls[c.id] = Control{c.windowClass, c.text, true, 0};
    }
    endResult.reset();
    destroyed = false;
    messages_ = &messages;
    initDialogResult = messages.InitDialog(*this);
}

void FakeWindow::Timer(int timer) {
    if (messages_ != nullptr && !endResult) {
        messages_->Timer(timer);
    }
}

void FakeWindow::Command(int id, int notification) {
    if (messages_ != nullptr && !endResult) {
        messages_->Command(id, notification);
    }
}

void FakeWindow::Close() {
    if (messages_ != nullptr) {
        DialogMessages* messages = messages_;
        messages_ = nullptr;
        destroyed = true;
        messages->Destroyed();
    }
}

const std::u16string& FakeWindow::Text(int control) const { return controls.at(control).text; }

bool FakeWindow::Enabled(int control) const { return controls.at(control).enabled; }

int FakeWindow::Position(int control) const { return controls.at(control).position; }

FakeWindow::Control* FakeWindow::Find(int control) {
    const auto it = controls.find(control);
    if (it == controls.end()) {
        ++unknownControlCalls;
        return nullptr;
    }
    return &it->second;
}

void FakeWindow::SetControlText(int control, const char16_t* text) {
    textLog.push_back({control, text});
    if (Control* c = Find(control)) {
        c->text = text;
    }
}

void FakeWindow::EnableControl(int control, bool enable) {
    if (Control* c = Find(control)) {
        c->enabled = enable;
    }
}

void FakeWindow::SetBarPosition(int control, int position) {
    barLog.push_back(position);
    if (Control* c = Find(control)) {
        c->position = std::clamp(position, kBarMinimum, kBarMaximum);
    }
}

void FakeWindow::StartTimer(int timer, std::uint32_t periodMs) {
    timers.emplace_back(timer, periodMs);
}

void FakeWindow::SetIcon(int which, IconHandle icon) { icons.emplace_back(which, icon); }

void FakeWindow::MakeTopmost() { ++topmostCalls; }

void FakeWindow::EndDialog(int result) {
    if (!endResult) {
        endResult = result;
    }
}

IconHandle FakeWindow::LoadIcon(int resource) {
    loadedIcons.push_back(resource);
    return iconToHand;
}

int FakeWindow::RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) {
    Open(dialogTemplate, messages);
    if (user && !endResult) {
        user(*this);
    }
    const int result = endResult.value_or(-1);
    Close();
    return result;
}

}  // namespace vardel
