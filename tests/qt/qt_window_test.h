// The suite of the window built from IDD_MAIN. Declared apart from its
// definitions so that Qt's generated code for it is compiled on its own.
#pragma once

#include <QObject>
#include <memory>
#include <utility>
#include <vector>

#include "app/resources/MainDialogTemplate.h"
#include "platform/Window.h"
#include "platform/qt/QtDialogWindow.h"
#include "platform/qt/QtWindowSystem.h"

namespace vardel::testing {

// A dialog that only records what its window sends it.
class RecordingMessages : public DialogMessages {
public:
    int InitDialog(Window& window) override {
        opened = &window;
        return 1;
    }
    void Timer(int timer) override { timers.push_back(timer); }
    void Command(int id, int notification) override { commands.emplace_back(id, notification); }
    void Destroyed() override { opened = nullptr; }

    Window* opened = nullptr;
    std::vector<int> timers;
    std::vector<std::pair<int, int>> commands;
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
    void dialogUnitsScaleByAQuarterAndAnEighthOfTheBaseUnits();
    void theFontIsTheSansSerifFaceAt9PointsWithAChineseFace();
    void theWindowAndItsControlsAreWhereTheTemplatePutsThem();
    void theFrameHasATitleButNoCloseBoxAndAFixedSize();
    void theControlsAreBuiltInTemplateOrder();
    void theStartButtonIsNotADefaultButton();
    void theLabelsAreEmptyLeftAlignedPlainText();
    void theBarRunsFrom0To100WithoutTextAndClampsItsPosition();
    void textsAndEnablingReachTheControls();
    void topmostIsAskedForByTheDialog();
    void theIconResourceHoldsAllThreeSizes();
    void theWindowIconComesFromTheResource();
    void aTemplateWithAnUnknownControlClassIsNotRun();
};

}  // namespace vardel::testing
