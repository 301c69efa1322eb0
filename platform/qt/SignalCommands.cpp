#include "platform/qt/SignalCommands.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vardel::qt {

namespace {

// The one place the handler may look: a plain int, set before any handler is
// installed and cleared after the last one is removed.
volatile std::sig_atomic_t signalPipe = -1;

// Async-signal-safe: one write() of one byte, errno kept for the code that
// was interrupted. A full pipe drops the byte; one pending signal of a kind
// is enough.
extern "C" void WriteSignalByte(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe, &byte, 1);
    errno = savedErrno;
}

}  // namespace

SignalCommands::Fd::~Fd() {
    if (value >= 0) {
        ::close(value);
    }
}

SignalCommands::SignalCommands(const QtWindowSystem& windows,
                               const std::vector<SignalRoute>& routes)
    : windows_(windows), routes_(routes) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readEnd_.value = ends[0];
    writeEnd_.value = ends[1];
    signalPipe = writeEnd_.value;
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.value, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
    for (const SignalRoute& route : routes_) {
        struct sigaction action {};
        action.sa_handler = WriteSignalByte;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        Saved saved{route.signal, {}};
        if (::sigaction(route.signal, &action, &saved.action) == 0) {
            saved_.push_back(saved);
        }
    }
    installed_ = true;
}

SignalCommands::~SignalCommands() {
    for (const Saved& saved : saved_) {
        ::sigaction(saved.signal, &saved.action, nullptr);
    }
    signalPipe = -1;
    notifier_.reset();
}

void SignalCommands::Drain() {
    unsigned char bytes[64];
    ssize_t count = 0;
    while ((count = ::read(readEnd_.value, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            Dispatch(bytes[i]);
        }
    }
}

void SignalCommands::Dispatch(int signal) const {
    for (const SignalRoute& route : routes_) {
        if (route.signal == signal) {
            windows_.SendCommand(route.command);
            return;
        }
    }
}

}  // namespace vardel::qt
