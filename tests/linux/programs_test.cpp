// Finding the navigation program and asking it to quit, with child processes
// that take its name. Each test uses names of its own, since cases may run
// side by side.
#include <sys/prctl.h>
#include <sys/wait.h>

#include <csignal>
#include <memory>

#include <gtest/gtest.h>

#include "platform/linux/LinuxPlatform.h"
#include "tests/e2e/E2eHarness.h"

namespace vardel::test {
namespace {

bool TakeName(const char* name) { return ::prctl(PR_SET_NAME, name, 0, 0, 0) == 0; }

class LinuxProgramsTest : public ::testing::Test {
protected:
    linuxos::LinuxPlatform platform{"/dev/null"};
};

TEST_F(LinuxProgramsTest, AProgramIsFoundByItsExactNameOnly) {
    // Other tests run the engine against the real platform and ask "Q9Gps" to
    // quit whenever their port fails to open; this one must outlive them.
    const Child navigation(
        {[] { return ::signal(SIGTERM, SIG_IGN) != SIG_ERR && TakeName("Q9Gps"); }});
    const Child longer({[] { return TakeName("VdlGpsX"); }});
    const Child prefixed({[] { return TakeName("xVdlGps"); }});
    EXPECT_EQ(platform.FindProgram(u"Q9Gps"), navigation.Pid());
    EXPECT_EQ(platform.FindProgram(u"VdlGps"), 0);
    EXPECT_EQ(platform.FindProgram(u"VdlGp"), 0);
    EXPECT_EQ(platform.FindProgram(u"vdlgpsx"), 0) << "names are case-sensitive";
    EXPECT_EQ(platform.FindProgram(u""), 0);
}

TEST_F(LinuxProgramsTest, AProgramStartedOrRestartedAfterASearchIsFoundLater) {
    ASSERT_EQ(platform.FindProgram(u"VdlLateStart"), 0);
    auto first = std::make_unique<Child>(
        std::vector<std::function<bool()>>{[] { return TakeName("VdlLateStart"); }});
    ProgramHandle found = 0;
    for (int attempt = 0; attempt < 400 && found == 0; ++attempt) {
        found = platform.FindProgram(u"VdlLateStart");
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(found, first->Pid());

    const Child second({[] { return TakeName("VdlLateStart"); }});
    first.reset();
    EXPECT_EQ(platform.FindProgram(u"VdlLateStart"), second.Pid());
}

// Guards against a pid never found, or handed to another process since.
TEST_F(LinuxProgramsTest, OnlyAProgramFoundAndStillOfItsNameIsAskedToQuitBySigterm) {
    Child bystander({[] { return TakeName("VdlBystander"); }});
    platform.AskProgramToQuit(bystander.Pid());
    EXPECT_TRUE(bystander.Running());

    Child renamed(
        {[] { return TakeName("VdlQuitMe"); }, [] { return TakeName("VdlSomeoneElse"); }});
    const ProgramHandle found = platform.FindProgram(u"VdlQuitMe");
    ASSERT_EQ(found, renamed.Pid());
    ASSERT_TRUE(renamed.Next());
    platform.AskProgramToQuit(found);
    EXPECT_TRUE(renamed.Running());

    Child next({[] { return TakeName("VdlQuitMe2"); }});
    platform.AskProgramToQuit(platform.FindProgram(u"VdlQuitMe2"));
    const int status = next.Reap();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

}  // namespace
}  // namespace vardel::test
