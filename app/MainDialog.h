// The program's one window. It drives the engine from a 5 ms timer, shows what
// the engine reported through the status mailbox, and follows the engine's
// step with its start button and step label. It never reads the port or the
// image: everything it shows comes from GetStep and the mailbox.
#pragma once

#include <cstdint>
#include <string>

#include "app/framework/Dialog.h"
#include "engine/UpgradeEngine.h"
#include "platform/Platform.h"
#include "platform/Window.h"

namespace vardel {

inline constexpr int TIMER_ENGINE = 1000;
inline constexpr std::uint32_t kEngineTimerPeriodMs = 5;

class MainDialog : public Dialog {
public:
    MainDialog(UpgradeEngine& engine, Platform& platform, WindowSystem& windows);
    ~MainDialog() override = default;
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    int OnInitDialog() override;
    void OnTimer(int timer) override;
    void OnStartClicked();
    void OnExitCommand();
    void DoDataExchange(DataExchange& dx) override;

    IconHandle icon;
    std::u16string stepText;
    // The step that IDC_STEP shows; -1 while it shows none.
    std::int32_t lastShownStep = -1;
    ProgressCtrl progressBar;

protected:
    bool OnCommand(int id, int notification) override;

private:
    static const CommandMapEntry<MainDialog> kCommandMap[2];

    void AskNavigationToQuit();
    void AskProgramToQuit(const char16_t* name);
    void ShowMailbox();
    void ShowStep(std::int32_t step);

    UpgradeEngine& engine_;
    Platform& platform_;
};

}  // namespace vardel
