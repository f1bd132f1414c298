// The work folder recipe that extraction and launch share.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "launcher/WorkFolder.h"
#include "support/RCPath.h"

namespace {

std::string ProcessIdHex()
{
    char id[16];
    std::snprintf(id, sizeof id, "%08lX", static_cast<unsigned long>(GetCurrentProcessId()));
    return id;
}

} // namespace

TEST(WorkFolder, LiesBelowTheApplicationDataFolder)
{
    char appData[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);

    RCPath path;
    SetToWorkFolder(path);
    EXPECT_EQ(std::string(path.Text()),
              std::string(appData) + "\\Orvane\\Lumavex\\Quillimark\\" + ProcessIdHex());
    EXPECT_EQ(std::string(path.Last()).size(), 8u);
}

TEST(WorkFolder, TakesTheBaseFolderGiven)
{
    struct Case {
        const char* base;
        const char* expected;  // before the process id
    };
    const Case cases[] = {
        {"C:\\Documents and Settings\\user\\Application Data",
         "C:\\Documents and Settings\\user\\Application Data\\Orvane\\Lumavex\\Quillimark\\"},
        {"C:\\", "C:\\Orvane\\Lumavex\\Quillimark\\"},
    };
    for (const Case& c : cases) {
        RCPath path;
        SetToWorkFolder(path, c.base);
        EXPECT_EQ(std::string(path.Text()), std::string(c.expected) + ProcessIdHex()) << c.base;
    }
}
