#include "platform/qt/WindowSystemStart.h"

#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace vardel::qt {

namespace {

constexpr int kNoDisplayStatus = 1;
constexpr const char* kWhatToSet =
    "set DISPLAY (X11) or WAYLAND_DISPLAY (Wayland) to a running display, or QT_QPA_PLATFORM to "
    "a platform plugin that works here (linuxfb, eglfs, offscreen)";

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// Qt's message handler is a plain function: its state is the process's.
std::string g_programName;
QtMessageHandler g_earlierHandler = nullptr;
std::vector<HeldMessage> g_held;

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// One line and status 1. Qt is half started: no exit handler of its may run.
[[noreturn]] void GiveUp(const std::string& why) {
    const std::string line = g_programName + ": " + why + "; " + kWhatToSet + "\n";
    (void)std::fflush(stdout);
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(kNoDisplayStatus);
}

// The first complaint of the platform plugin names the cause ("could not
// connect to display :9"); the fatal message after it only says that none
// could be started.
std::string Cause() {
    for (const HeldMessage& message : g_held) {
        if (message.category.starts_with("qt.qpa")) {
            return message.text.toStdString() + " (" + message.category + ")";
        }
    }
    return "no Qt platform plugin could be started";
}

void HoldBack(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        GiveUp("cannot open the window: " + Cause());
    }
    g_held.push_back({type, context.category != nullptr ? context.category : "", text});
}

std::string BaseName(const char* path) {
    const std::string_view whole = path != nullptr ? path : "vardel";
    const std::size_t slash = whole.rfind('/');
    return std::string(slash == std::string_view::npos ? whole : whole.substr(slash + 1));
}

}  // namespace

WindowSystemStart::WindowSystemStart(const char* programName) {
    g_programName = BaseName(programName);
    if (!Named("DISPLAY") && !Named("WAYLAND_DISPLAY") && !Named("QT_QPA_PLATFORM")) {
        GiveUp("no display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are all unset");
    }
    g_earlierHandler = qInstallMessageHandler(HoldBack);
    watching_ = true;
}

void WindowSystemStart::Started() {
    if (!watching_) {
        return;
    }
    qInstallMessageHandler(g_earlierHandler);
    watching_ = false;
    for (const HeldMessage& message : g_held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        g_earlierHandler(message.type, context, message.text);
    }
    g_held.clear();
}

WindowSystemStart::~WindowSystemStart() { Started(); }

}  // namespace vardel::qt
