#include "app/MainDialog.h"

#include "app/FixedBufferText.h"
#include "app/StatusMailbox.h"
#include "app/resources/Resource.h"
#include "engine/EngineTexts.h"

namespace vardel {

namespace {

constexpr char16_t kFinishedRestart[] = u"完成重启";

constexpr std::size_t kStepTextSize = 32;

}  // namespace

const CommandMapEntry<MainDialog> MainDialog::kCommandMap[2] = {
    {BN_CLICKED, IDC_START, IDC_START, &MainDialog::OnStartClicked},
    {BN_CLICKED, IDC_EXIT, IDC_EXIT, &MainDialog::OnExitCommand},
};

MainDialog::MainDialog(UpgradeEngine& engine, Platform& platform, WindowSystem& windows)
    : Dialog(IDD_MAIN, windows),
      icon(windows.LoadIcon(IDR_MAINFRAME)),
      engine_(engine),
      platform_(platform) {}

void MainDialog::DoDataExchange(DataExchange& dx) {
    Dialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PROGRESS, progressBar);
}

int MainDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    Window& window = GetWindow();
    window.SetIcon(ICON_BIG, icon);
    window.SetIcon(ICON_SMALL, icon);
    AskNavigationToQuit();
    window.StartTimer(TIMER_ENGINE, kEngineTimerPeriodMs);
    engine_.SetMessageCallback(OnEngineMessage, 0);
    engine_.SetProgressCallback(OnEngineProgress);
    lastShownStep = -1;
    window.EnableControl(IDC_START, false);
    window.MakeTopmost();
    return 1;
}

// The tick comes first, so whatever it reported is shown on the same tick.
void MainDialog::OnTimer(int timer) {
    if (timer == TIMER_ENGINE) {
        engine_.Tick();
        ShowMailbox();
        const std::int32_t step = engine_.GetStep();
        if (step != lastShownStep) {
            ShowStep(step);
        }
    }
    Dialog::OnTimer(timer);
}

// The navigation program is asked again on every press: it may have been
// started anew since the window opened.
void MainDialog::OnStartClicked() {
    AskProgramToQuit(texts::kQ9Navigation);
    const std::int32_t step = engine_.GetStep();
    if (step < STEP_TRANSFER) {
        engine_.RequestStart();
    } else if (step == STEP_DONE) {
        engine_.SendReset();
    }
}

void MainDialog::OnExitCommand() {
    engine_.SendReset();
    Dialog::OnCancel();
}

bool MainDialog::OnCommand(int id, int notification) {
    return DispatchCommand(kCommandMap, *this, id, notification);
}

// Only one navigation program runs on a unit; the Q9 one is looked for first.
void MainDialog::AskNavigationToQuit() {
    ProgramHandle program = platform_.FindProgram(texts::kQ9Navigation);
    if (program == 0) {
        program = platform_.FindProgram(texts::kMtkNavigation);
    }
    if (program != 0) {
        platform_.AskProgramToQuit(program);
    }
}

void MainDialog::AskProgramToQuit(const char16_t* name) {
    const ProgramHandle program = platform_.FindProgram(name);
    if (program != 0) {
        platform_.AskProgramToQuit(program);
    }
}

// The flags say what is new; nothing is compared with what is on screen.
void MainDialog::ShowMailbox() {
    StatusMailbox& mailbox = statusMailbox;
    if (mailbox.percentChanged != 0) {
        FormatDecimal(mailbox.percentText, kMailboxTextSize, u"", mailbox.percent, u"%");
        GetWindow().SetControlText(IDC_PERCENT, mailbox.percentText);
        progressBar.SetPos(mailbox.percent);
        mailbox.percentChanged = 0;
    }
    if (mailbox.messageChanged != 0) {
        GetWindow().SetControlText(IDC_STATUS, mailbox.messageText);
        mailbox.messageChanged = 0;
    }
}

// The step only moves forward, so STEP_READY always follows no step or
// STEP_CLOSED, and the button is enabled exactly once for it.
void MainDialog::ShowStep(std::int32_t step) {
    Window& window = GetWindow();
    if (step == STEP_READY && lastShownStep < STEP_READY) {
        window.EnableControl(IDC_START, true);
    } else if (step == STEP_HANDSHAKE || step == STEP_TRANSFER) {
        window.EnableControl(IDC_START, false);
    } else if (step == STEP_DONE) {
        window.SetControlText(IDC_START, kFinishedRestart);
        window.EnableControl(IDC_START, true);
    }
    lastShownStep = step;
    char16_t text[kStepTextSize];
    FormatDecimal(text, kStepTextSize, u"Step = ", step, u"");
    stepText = text;
    window.SetControlText(IDC_STEP, stepText.c_str());
}

}  // namespace vardel
