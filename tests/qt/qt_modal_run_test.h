// The suite of the real main dialog in a modal run. Declared apart from its
// definitions so that Qt's generated code for it is compiled on its own.
#pragma once

#include <QObject>

namespace vardel::testing {

class ModalRunTest : public QObject {
    Q_OBJECT

private slots:
    void aUserRunsAWholeUpgradeWithTheRealButton();
    void enterOnTheFocusedButtonEndsWith1AndDoesNotPressIt();
    void enterOnTheKeypadEndsWith1();
    void escapeEndsWith2WithoutAResetFrame();
    void theWindowManagersCloseRequestEndsWith2();
    void sigusr1InTheTransferWritesTheResetFrameAndEndsWith2();
    void sigtermEndsWith2WithoutAResetFrame();
    void noTickReachesTheEngineAfterTheDialogEnded();
};

}  // namespace vardel::testing
