// Signals as command messages to the running dialog window. The handler only
// writes the signal's number into a pipe; a socket notifier on the other end
// reads it on the user-interface thread, between two messages, and sends the
// command there. Only one instance may exist at a time.
#pragma once

#include <QSocketNotifier>
#include <csignal>
#include <memory>
#include <vector>

#include "platform/qt/QtWindowSystem.h"

namespace vardel::qt {

struct SignalRoute {
    int signal;
    int command;
};

class SignalCommands {
public:
    SignalCommands(const QtWindowSystem& windows, const std::vector<SignalRoute>& routes);
    // Puts the earlier handlers back, then closes the pipe.
    ~SignalCommands();
    SignalCommands(const SignalCommands&) = delete;
    SignalCommands& operator=(const SignalCommands&) = delete;

    // False when the pipe could not be made; no signal is then taken over.
    [[nodiscard]] bool Installed() const { return installed_; }

private:
    class Fd {
    public:
        Fd() = default;
        ~Fd();
        Fd(const Fd&) = delete;
        Fd& operator=(const Fd&) = delete;
        int value = -1;
    };
    struct Saved {
        int signal;
        struct sigaction action;
    };

    void Drain();
    void Dispatch(int signal) const;

    const QtWindowSystem& windows_;
    std::vector<SignalRoute> routes_;
    Fd readEnd_;
    Fd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<Saved> saved_;
    bool installed_ = false;
};

}  // namespace vardel::qt
