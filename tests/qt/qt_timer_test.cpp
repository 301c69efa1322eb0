// The engine timer on the Qt host: its messages arrive about every period
// and never pile up behind a tick that holds the thread.
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <vector>

#include "app/resources/MainDialogTemplate.h"
#include "platform/qt/QtWindowSystem.h"
#include "tests/qt/QtTestSupport.h"
#include "tests/qt/qt_timer_test.h"

namespace vardel::testing {
namespace {

constexpr int kTimer = 1000;
constexpr int kSlowTick = 3;      // the tick that holds the thread
constexpr int kSlowTickMs = 100;  // twenty periods
constexpr int kTicksToRecord = 12;

// A dialog whose ticks record when they came; one of them is slow.
class TickRecorder : public DialogMessages {
public:
    int InitDialog(Window& window) override {
        window_ = &window;
        clock_.start();
        window.StartTimer(kTimer, 5);
        return 1;
    }
    void Timer(int timer) override {
        if (timer != kTimer) {
            return;
        }
        starts.push_back(clock_.nsecsElapsed());
        if (starts.size() == kSlowTick) {
            QThread::msleep(kSlowTickMs);
        }
        ends.push_back(clock_.nsecsElapsed());
        if (starts.size() == kTicksToRecord) {
            window_->EndDialog(1);
        }
    }
    void Command(int /*id*/, int /*notification*/) override {}
    void Destroyed() override { window_ = nullptr; }

    std::vector<qint64> starts;
    std::vector<qint64> ends;

private:
    Window* window_ = nullptr;
    QElapsedTimer clock_;
};

double Ms(qint64 nanoseconds) { return static_cast<double>(nanoseconds) / 1e6; }

}  // namespace

void TimerTest::aSlowTickIsFollowedByOneTickNotByOneForEveryPeriodMissed() {
    qt::QtWindowSystem windows;
    TickRecorder recorder;
    // The modal run itself ends after the last recorded tick.
    QCOMPARE(windows.RunModal(kMainDialogTemplate, recorder), 1);
    QCOMPARE(recorder.starts.size(), std::size_t{kTicksToRecord});

    const std::size_t slow = kSlowTick - 1;
    const double slowEnd = Ms(recorder.ends[slow]);
    // The tick that fell due during the slow one comes once, then the
    // period starts afresh: the one after it waits for most of a period.
    const double gap = Ms(recorder.starts[slow + 2]) - Ms(recorder.starts[slow + 1]);
    QVERIFY2(gap >= 3.0, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
    int soonAfter = 0;
    for (const qint64 start : recorder.starts) {
        soonAfter += (Ms(start) >= slowEnd && Ms(start) < slowEnd + 10.0) ? 1 : 0;
    }
    QVERIFY2(soonAfter <= 3, qPrintable(QStringLiteral("%1 ticks").arg(soonAfter)));
}

void TimerTest::aTickNeverStartsWhileAnotherRuns() {
    qt::QtWindowSystem windows;
    TickRecorder recorder;
    QCOMPARE(windows.RunModal(kMainDialogTemplate, recorder), 1);
    for (std::size_t i = 1; i < recorder.starts.size(); ++i) {
        QVERIFY(recorder.starts[i] >= recorder.ends[i - 1]);
    }
}

}  // namespace vardel::testing

QTEST_MAIN(vardel::testing::TimerTest)
