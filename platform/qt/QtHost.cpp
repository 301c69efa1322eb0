#include "platform/qt/QtHost.h"

namespace vardel::qt {

namespace {

// What the user sees as the program's name and version.
constexpr char kApplicationName[] = "Vardel";
constexpr char kApplicationVersion[] = "4.0";

}  // namespace

// Qt keeps argc by reference and argv for its lifetime, so both are members
// that outlive the QApplication.
QtHost::QtHost(const char* programName, const std::vector<SignalRoute>& routes)
    : argv_{const_cast<char*>(programName), nullptr},
      start_(programName),
      application_(argc_, argv_),
      signals_(windows_, routes) {
    start_.Started();
    QApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));
}

QtHost::~QtHost() = default;

}  // namespace vardel::qt
