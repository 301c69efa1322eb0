#include "platform/linux/Surroundings.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace vardel::linuxos {

bool SettleSurroundings() {
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(standard, F_GETFD) != -1) {
            continue;
        }
        // The lowest free number: this one, as the ones below it are open.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != standard) {
            ::dup2(opened, standard);
            ::close(opened);
        }
    }
    (void)std::signal(SIGPIPE, SIG_IGN);
    return true;
}

int TerminalColumns(int fd) {
    constexpr int kUsualColumns = 80;
    if (::isatty(fd) != 1) {
        return 0;
    }
    winsize size{};
    return ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : kUsualColumns;
}

}  // namespace vardel::linuxos
