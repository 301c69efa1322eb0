#include "bench/Interruption.h"

#include <csignal>
#include <initializer_list>

namespace vardel::bench {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void RaiseFlag(int /*signal*/) { interrupted = 1; }

}  // namespace

void CatchInterruptions() {
    struct sigaction action {};
    action.sa_handler = RaiseFlag;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    (void)std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return interrupted != 0; }

}  // namespace vardel::bench
