// The suite of the window built from IDD_MAIN. Declared apart from its
// definitions so that Qt's generated code for it is compiled on its own.
#pragma once

#include <QObject>
#include <memory>

#include "app/resources/MainDialogTemplate.h"
#include "platform/Window.h"
#include "platform/qt/QtDialogWindow.h"
#include "platform/qt/QtWindowSystem.h"

namespace vardel::testing {

// A dialog that only notes whether its window is open.
class RecordingMessages : public DialogMessages {
public:
    int InitDialog(Window& window) override {
        opened = &window;
        return 1;
    }
    void Timer(int /*timer*/) override {}
    void Command(int /*id*/, int /*notification*/) override {}
    void Destroyed() override { opened = nullptr; }

    Window* opened = nullptr;
};

class WindowTest : public QObject {
    Q_OBJECT

private:
    qt::QtWindowSystem windows_;
    RecordingMessages messages_;

    std::unique_ptr<qt::QtDialogWindow> Build() {
        return std::make_unique<qt::QtDialogWindow>(kMainDialogTemplate, messages_, windows_,
                                                    nullptr);
    }

private slots:
    void theTemplateIsLaidOutInPixelsByTheBaseUnitsOfItsFont();
    void theFrameHasATitleButNoCloseBoxAndAFixedSize();
    void theControlsAreBuiltInTemplateOrderAndNoneIsADefaultButton();
    void theIconResourceHoldsAllThreeSizes();
    void aTemplateWithAnUnknownControlClassIsNotRun();
    void aSlowTickIsFollowedByOneTickNotByOneForEveryPeriodMissed();
};

}  // namespace vardel::testing
