// Finding the navigation program and asking it to quit, with child processes
// that take its name.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "platform/posix/PosixPlatform.h"
#include "tests/posix/TestSupport.h"

namespace vardel {
namespace {

constexpr int kReadyMs = 2000;
constexpr int kGraceMs = 100;
constexpr std::size_t kNameSize = 16;  // what PR_SET_NAME takes, terminator included

// A child process that goes by a chosen name and takes a new one on request.
// Each test uses its own names, since cases may run side by side.
class NamedProcess {
public:
    enum class OnSigterm { Ends, Ignores };

    explicit NamedProcess(const char* name, OnSigterm onSigterm = OnSigterm::Ends)
        : child_([this, name, onSigterm] {
              if (onSigterm == OnSigterm::Ignores) {
                  (void)std::signal(SIGTERM, SIG_IGN);
              }
              toChild_.writeEnd.Reset();
              Rename(name);
              char next[kNameSize] = {};
              while (::read(toChild_.readEnd.Get(), next, sizeof next) == sizeof next) {
                  Rename(next);
              }
          }) {
        toChild_.readEnd.Reset();
        EXPECT_TRUE(test::AwaitToken(fromChild_.readEnd.Get(), kReadyMs));
    }

    [[nodiscard]] pid_t Pid() const { return child_.Pid(); }

    void TakeName(const char* name) {
        (void)std::signal(SIGPIPE, SIG_IGN);  // a child killed early fails the write, not the run
        char next[kNameSize] = {};
        std::strncpy(next, name, sizeof next - 1);
        ASSERT_EQ(::write(toChild_.writeEnd.Get(), next, sizeof next),
                  static_cast<ssize_t>(sizeof next));
        ASSERT_TRUE(test::AwaitToken(fromChild_.readEnd.Get(), kReadyMs));
    }

    bool RunsOn() { return child_.RunsOnAfter(kGraceMs); }
    int Reap() { return child_.Reap(); }

private:
    void Rename(const char* name) {
        ::prctl(PR_SET_NAME, name, 0, 0, 0);
        test::SendToken(fromChild_.writeEnd.Get());
    }

    test::Pipe toChild_;
    test::Pipe fromChild_;
    test::ChildProcess child_;
};

bool EndedBySigterm(int status) { return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM; }

class PosixProgramsTest : public ::testing::Test {
protected:
    PosixPlatform platform{"/dev/null"};
};

TEST_F(PosixProgramsTest, RunningProgramIsFoundByItsExactName) {
    // Other tests run the engine against the real platform and ask "Q9Gps" to
    // quit whenever their port fails to open; this one must outlive them.
    NamedProcess navigation("Q9Gps", NamedProcess::OnSigterm::Ignores);
    EXPECT_EQ(platform.FindProgram(u"Q9Gps"), navigation.Pid());
}

TEST_F(PosixProgramsTest, NameThatOnlyPartlyMatchesIsNotFound) {
    NamedProcess longer("MtkGpsX");
    NamedProcess prefixed("xMtkGps");

    EXPECT_EQ(platform.FindProgram(u"MtkGps"), 0);
    EXPECT_EQ(platform.FindProgram(u"MtkGp"), 0);
    EXPECT_EQ(platform.FindProgram(u"mtkgpsx"), 0) << "names are case-sensitive";
    EXPECT_EQ(platform.FindProgram(u""), 0);
}

// The kernel keeps 15 bytes of a name: a longer one is never shown whole.
TEST_F(PosixProgramsTest, NameLongerThanTheSystemKeepsIsNeverFound) {
    NamedProcess cut("VdlLongNameIsCutX");

    EXPECT_EQ(platform.FindProgram(u"VdlLongNameIsCutX"), 0);
    EXPECT_EQ(platform.FindProgram(u"VdlLongNameIsCu"), cut.Pid());
}

TEST_F(PosixProgramsTest, OwnProcessIsNeverFound) {
    char ownName[kNameSize] = {};
    ::prctl(PR_GET_NAME, ownName, 0, 0, 0);
    ::prctl(PR_SET_NAME, "VdlSelf", 0, 0, 0);

    const ProgramHandle found = platform.FindProgram(u"VdlSelf");
    ::prctl(PR_SET_NAME, ownName, 0, 0, 0);

    EXPECT_EQ(found, 0);
}

TEST_F(PosixProgramsTest, ProgramStartedAfterASearchFoundNoneIsFoundLater) {
    ASSERT_EQ(platform.FindProgram(u"VdlLateStart"), 0);
    NamedProcess late("VdlLateStart");

    ProgramHandle found = 0;
    const test::Stopwatch clock;
    while (found == 0 && clock.Ms() < kReadyMs) {
        found = platform.FindProgram(u"VdlLateStart");
        ::usleep(5000);
    }

    EXPECT_EQ(found, late.Pid());
}

TEST_F(PosixProgramsTest, ProgramThatEndedIsReplacedByTheNextOneOfItsName) {
    auto first = std::make_unique<NamedProcess>("VdlSuccessor");
    ASSERT_EQ(platform.FindProgram(u"VdlSuccessor"), first->Pid());
    NamedProcess second("VdlSuccessor");
    first.reset();

    EXPECT_EQ(platform.FindProgram(u"VdlSuccessor"), second.Pid());
}

// The engine asks on every 5 ms tick while the port stays closed.
TEST_F(PosixProgramsTest, SearchingOnEveryTickForASecondTakesLittleOfIt) {
    const test::Stopwatch clock;
    for (int tick = 0; tick < 200; ++tick) {
        platform.FindProgram(u"VdlNobody");
    }
    EXPECT_LT(clock.Ms(), 100.0);
}

TEST_F(PosixProgramsTest, AskingToQuitSendsSigterm) {
    NamedProcess navigation("VdlQuitMe");
    const ProgramHandle found = platform.FindProgram(u"VdlQuitMe");
    ASSERT_EQ(found, navigation.Pid());

    platform.AskProgramToQuit(found);

    EXPECT_TRUE(EndedBySigterm(navigation.Reap()));
}

TEST_F(PosixProgramsTest, ProgramThatHasEndedButIsNotReapedIsNotFound) {
    NamedProcess navigation("VdlZombie");
    platform.AskProgramToQuit(platform.FindProgram(u"VdlZombie"));
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(navigation.Pid()), &info, WEXITED | WNOWAIT), 0);

    EXPECT_EQ(platform.FindProgram(u"VdlZombie"), 0);
}

// Guards against a pid that has been handed to another process since.
TEST_F(PosixProgramsTest, ProgramThatNoLongerHasItsNameIsNotAskedToQuit) {
    NamedProcess navigation("VdlRenamed");
    const ProgramHandle found = platform.FindProgram(u"VdlRenamed");
    ASSERT_EQ(found, navigation.Pid());

    navigation.TakeName("VdlSomeoneElse");
    platform.AskProgramToQuit(found);
    EXPECT_TRUE(navigation.RunsOn());

    navigation.TakeName("VdlRenamed");
    platform.AskProgramToQuit(found);
    EXPECT_TRUE(EndedBySigterm(navigation.Reap()));
}

TEST_F(PosixProgramsTest, ProgramNeverFoundIsNotAskedToQuit) {
    NamedProcess bystander("VdlBystander");

    platform.AskProgramToQuit(bystander.Pid());

    EXPECT_TRUE(bystander.RunsOn());
}

}  // namespace
}  // namespace vardel
