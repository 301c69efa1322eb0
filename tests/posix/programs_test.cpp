// Finding the navigation program and asking it to quit, with child processes
// that take its name. Each test uses names of its own, since cases may run
// side by side.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

constexpr int kReadyMs = 2000;

// A child process that goes by a chosen name, and by `later` once renamed.
class NamedProcess {
public:
    explicit NamedProcess(const char* name, const char* later = nullptr, bool ignoreSigterm = false)
        : child_([=, this] {
              if (ignoreSigterm) (void)std::signal(SIGTERM, SIG_IGN);
              ::prctl(PR_SET_NAME, name, 0, 0, 0);
              test::SendToken(toParent_.writeEnd.Get());
              if (later != nullptr && test::AwaitToken(toChild_.readEnd.Get(), 10000)) {
                  ::prctl(PR_SET_NAME, later, 0, 0, 0);
                  test::SendToken(toParent_.writeEnd.Get());
              }
              ::pause();
          }) {
        EXPECT_TRUE(test::AwaitToken(toParent_.readEnd.Get(), kReadyMs));
    }
    [[nodiscard]] pid_t Pid() const { return child_.Pid(); }
    test::ChildProcess& Child() { return child_; }
    void Rename() {
        test::SendToken(toChild_.writeEnd.Get());
        EXPECT_TRUE(test::AwaitToken(toParent_.readEnd.Get(), kReadyMs));
    }

private:
    test::Pipe toParent_;
    test::Pipe toChild_;
    test::ChildProcess child_;
};

bool EndedBySigterm(int status) { return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM; }

class PosixProgramsTest : public ::testing::Test {
protected:
    PosixPlatform platform{"/dev/null"};
};

TEST_F(PosixProgramsTest, AProgramIsFoundByItsExactNameOnly) {
    // Other tests run the engine against the real platform and ask "Q9Gps" to
    // quit whenever their port fails to open; this one must outlive them.
    NamedProcess navigation("Q9Gps", nullptr, true);
    NamedProcess longer("VdlGpsX");
    NamedProcess prefixed("xVdlGps");
    EXPECT_EQ(platform.FindProgram(u"Q9Gps"), navigation.Pid());
    EXPECT_EQ(platform.FindProgram(u"VdlGps"), 0);
    EXPECT_EQ(platform.FindProgram(u"VdlGp"), 0);
    EXPECT_EQ(platform.FindProgram(u"vdlgpsx"), 0) << "names are case-sensitive";
    EXPECT_EQ(platform.FindProgram(u""), 0);
}

TEST_F(PosixProgramsTest, AProgramStartedOrRestartedAfterASearchIsFoundLater) {
    ASSERT_EQ(platform.FindProgram(u"VdlLateStart"), 0);
    auto first = std::make_unique<NamedProcess>("VdlLateStart");
    ProgramHandle found = 0;
    const test::Stopwatch clock;
    while (found == 0 && clock.Ms() < kReadyMs) {
        found = platform.FindProgram(u"VdlLateStart");
        ::usleep(5000);
    }
    EXPECT_EQ(found, first->Pid());

    NamedProcess second("VdlLateStart");
    first.reset();
    EXPECT_EQ(platform.FindProgram(u"VdlLateStart"), second.Pid());
}

// Guards against a pid never found, or handed to another process since.
TEST_F(PosixProgramsTest, OnlyAProgramFoundAndStillOfItsNameIsAskedToQuitBySigterm) {
    NamedProcess bystander("VdlBystander");
    platform.AskProgramToQuit(bystander.Pid());
    EXPECT_TRUE(bystander.Child().RunsOnAfter(100));

    NamedProcess navigation("VdlQuitMe", "VdlSomeoneElse");
    const ProgramHandle found = platform.FindProgram(u"VdlQuitMe");
    ASSERT_EQ(found, navigation.Pid());
    navigation.Rename();
    platform.AskProgramToQuit(found);
    EXPECT_TRUE(navigation.Child().RunsOnAfter(100));

    NamedProcess next("VdlQuitMe2");
    platform.AskProgramToQuit(platform.FindProgram(u"VdlQuitMe2"));
    EXPECT_TRUE(EndedBySigterm(next.Child().Reap()));
}

}  // namespace
}  // namespace vardel
