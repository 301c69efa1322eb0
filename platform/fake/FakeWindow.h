// A window system for tests: builds its controls from the template, records
// every call a dialog makes on its window, and delivers the messages a test
// sends, one at a time, as the real window system would.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Window.h"

namespace vardel {

class FakeWindow : public Window, public WindowSystem {
public:
    struct Control {
        std::u16string windowClass;
        std::u16string text;
        bool enabled = true;
        int position = 0;  // progress bars: clamped to 0..100 as the control does
    };
    struct TextSet {
        int control;
        std::u16string text;
    };

    // --- the window ---
    const DialogTemplate* openTemplate = nullptr;
    std::map<int, Control> controls;
    std::vector<TextSet> textLog;                       // every SetControlText, in order
    std::vector<int> barLog;                            // every position given to a bar, as given
    std::vector<std::pair<int, std::uint32_t>> timers;  // identifier, period
    std::vector<std::pair<int, IconHandle>> icons;      // ICON_BIG or ICON_SMALL, icon
    int topmostCalls = 0;
    int unknownControlCalls = 0;  // calls naming a control the template lacks
    int initDialogResult = 0;
    std::optional<int> endResult;
    bool destroyed = false;

    // --- the window system ---
    std::vector<int> loadedIcons;  // resource numbers asked for
    IconHandle iconToHand = 42;
    // Runs inside RunModal once the window is open, in place of a user.
    std::function<void(FakeWindow&)> user;

    // Opens a window from the template and sends it InitDialog.
    void Open(const DialogTemplate& dialogTemplate, DialogMessages& messages);
    // Messages to the open window; dropped once the dialog has ended.
    void Timer(int timer);
    void Command(int id, int notification = BN_CLICKED);
    // The window goes away: Destroyed, once.
    void Close();

    [[nodiscard]] bool IsOpen() const { return messages_ != nullptr; }
    [[nodiscard]] const std::u16string& Text(int control) const;
    [[nodiscard]] bool Enabled(int control) const;
    [[nodiscard]] int Position(int control) const;

    void SetControlText(int control, const char16_t* text) override;
    void EnableControl(int control, bool enable) override;
    void SetBarPosition(int control, int position) override;
    void StartTimer(int timer, std::uint32_t periodMs) override;
    void SetIcon(int which, IconHandle icon) override;
    void MakeTopmost() override;
    void EndDialog(int result) override;

    IconHandle LoadIcon(int resource) override;
    // Open, then the user, then Close; -1 when the user did not end it.
    int RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) override;

private:
    Control* Find(int control);

    DialogMessages* messages_ = nullptr;
};

}  // namespace vardel
