// Switching the shutdown privilege, where Windows reports Windows 7 (the
// Wine prefix of these tests gives the program its version by name). It
// never calls restart, which would end the Wine session.
#include <gtest/gtest.h>

#include <windows.h>

#include "launcher/Restart.h"
#include "tests/win/ShutdownPrivilege.h"

TEST(ShutdownPrivilege, RunsOnThePlatformOfThisBuild)
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    ASSERT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT))
        << "run this program in the launch tests' Wine prefix (ctest sets it up), which gives it its version";
    ASSERT_TRUE(ShutdownPrivilege::Held());
}

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

