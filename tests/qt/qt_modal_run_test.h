// The suite of the real main dialog in a modal run. Declared apart from its
// definitions so that Qt's generated code for it is compiled on its own.
#pragma once

#include <QObject>

namespace vardel::testing {

class ModalRunTest : public QObject {
    Q_OBJECT

private slots:
    void aUserRunsAWholeUpgradeWithTheRealButtonAndEscapeEndsWith2();
    void enterOnTheFocusedButtonEndsWith1AndDoesNotPressIt();
    void sigusr1InTheTransferWritesTheResetFrameAndEndsWith2();
    void sigtermEndsWith2WithoutAResetFrame();
    void noTickReachesTheEngineAfterTheDialogEnded();
};

}  // namespace vardel::testing
