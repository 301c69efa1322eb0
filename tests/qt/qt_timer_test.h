// The suite of the engine timer on the Qt host. Declared apart from its
// definitions so that Qt's generated code for it is compiled on its own.
#pragma once

#include <QObject>

namespace vardel::testing {

class TimerTest : public QObject {
    Q_OBJECT

private slots:
    void aSlowTickIsFollowedByOneTickNotByOneForEveryPeriodMissed();
    void aTickNeverStartsWhileAnotherRuns();
};

}  // namespace vardel::testing
