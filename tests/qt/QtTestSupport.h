// Helpers for the tests of the Qt host: waiting on the real event loop, and a
// stand-in for the user that acts once the modal window is open.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <utility>

#include "platform/qt/HostObserver.h"
#include "platform/qt/QtDialogWindow.h"

namespace vardel::testing {

// Runs the event loop until condition holds or timeoutMs have passed. The loop
// is a real QEventLoop, so timer events arrive at their own pace (QTest::qWait
// would sleep between its passes and thin the ticks out).
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    if (condition()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(1);
    limit.start(timeoutMs);
    loop.exec();
    return condition();
}

// Runs the script from the event loop once the window is shown, as a person
// sitting in front of it would; the modal run goes on around it. A script that
// stops early (a failed check) leaves the window to be ended with
// kScriptStopped, so that the run never hangs.
inline constexpr int kScriptStopped = -2;

class ScriptedUser : public qt::HostObserver {
public:
    explicit ScriptedUser(std::function<void(qt::QtDialogWindow&)> script)
        : script_(std::move(script)) {}

    void WindowOpened(qt::QtDialogWindow& window) override {
        QTimer::singleShot(0, &window, [this, &window] {
            script_(window);
            if (!window.Ended()) {
                window.EndDialog(kScriptStopped);
            }
        });
    }

private:
    std::function<void(qt::QtDialogWindow&)> script_;
};

}  // namespace vardel::testing
