// Switching the shutdown privilege. Built twice: test_shutdown_privilege
// runs where Windows reports the NT platform, test_shutdown_privilege_9x
// where it reports the older platform (the Wine prefix of these tests gives
// each program its version by name). Neither calls restart, which would end
// the Wine session.
#include <gtest/gtest.h>

#include <windows.h>

#include "launcher/Restart.h"
#include "tests/win/ShutdownPrivilege.h"

#ifndef QM_EXPECT_NT
#error "QM_EXPECT_NT (1: NT platform, 0: the older one) must be defined"
#endif

TEST(ShutdownPrivilege, RunsOnThePlatformOfThisBuild)
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    ASSERT_EQ(version.dwPlatformId == VER_PLATFORM_WIN32_NT, QM_EXPECT_NT != 0)
        << "run this program in the launch tests' Wine prefix (ctest sets it up), which gives it its version";
    ASSERT_TRUE(ShutdownPrivilege::Held());
}

#if QM_EXPECT_NT

// On and off again in the program's own token, as often as asked.
TEST(ShutdownPrivilege, SwitchesThePrivilegeOfTheOwnToken)
{
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(set_shutdown_privilege(true));
        EXPECT_TRUE(ShutdownPrivilege::Enabled());
        EXPECT_TRUE(set_shutdown_privilege(false));
        EXPECT_FALSE(ShutdownPrivilege::Enabled());
    }
}

#else

// Outside the NT family there is nothing to switch: success, token untouched.
TEST(ShutdownPrivilege, LeavesTheTokenAloneOutsideTheNtFamily)
{
    ASSERT_FALSE(ShutdownPrivilege::Enabled());
    EXPECT_TRUE(set_shutdown_privilege(true));
    EXPECT_FALSE(ShutdownPrivilege::Enabled());
}

#endif
