// Well-known folders as Windows (here Wine) reports them, relative paths
// against this program's own folder, and Shift-JIS names whose second byte
// is 0x5C reaching the file system intact.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "support/RCPath.h"
#include "support/WellKnownFolders.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"

using testwin::IsFolder;
using testwin::OwnFile;

namespace {

std::string WindowsDirectory()
{
    char name[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryA(name, MAX_PATH);
    return std::string(name, n);
}

std::string Environment(const char* name)
{
    char value[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n < MAX_PATH ? std::string(value, n) : std::string();
}

bool SameText(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

bool StartsWith(const std::string& text, const std::string& head)
{
    return text.size() >= head.size() && SameText(text.substr(0, head.size()), head);
}

// The name of the single entry in a folder, "" when there is not exactly one.
std::string OnlyEntry(const std::string& folder)
{
    std::string found;
    int count = 0;
    testwin::ForEachEntry(folder, [&](const WIN32_FIND_DATAA& entry) {
        found = entry.cFileName;
        ++count;
    });
    return count == 1 ? found : "";
}

} // namespace

TEST(KnownFolders, ModuleFileIsThisProgram)
{
    RCPath module;
    EXPECT_TRUE(SetToModuleFile(module));
    EXPECT_TRUE(SameText(module.Text(), OwnFile())) << module.Text() << " vs " << OwnFile();
    EXPECT_TRUE(SameText(module.Last(), "test_known_folders.exe")) << module.Last();
    EXPECT_TRUE(SameText(module.Extension(), "exe"));
}

TEST(KnownFolders, RelativeTextsGoBelowThisProgramsFolder)
{
    const std::string own = OwnFile();
    const std::string folder = own.substr(0, own.rfind('\\'));
    const std::string parent = folder.substr(0, folder.rfind('\\'));
    struct Case {
        const char* text;
        std::string joined;
    };
    const Case cases[] = {
        {"x", folder + "\\x"},
        {"\\x", folder + "\\x"},
        {"..\\x\\y", parent + "\\x\\y"},
        {"test_known_folders.exe", own},
    };
    for (const Case& c : cases) {
        RCPath path(c.text);
        EXPECT_TRUE(SameText(path.Text(), c.joined)) << c.text << ": " << path.Text();
    }
}

TEST(KnownFolders, WindowsDirectory)
{
    RCPath windows;
    EXPECT_TRUE(SetToWindowsDirectory(windows));
    EXPECT_TRUE(SameText(windows.Text(), WindowsDirectory())) << windows.Text();
    EXPECT_TRUE(IsFolder(windows.Text())) << windows.Text();
}

TEST(KnownFolders, AppDataFolderIsTheUsersOwn)
{
    RCPath appData;
    EXPECT_TRUE(SetToAppDataFolder(appData));
    const std::string text = appData.Text();
    EXPECT_TRUE(IsFolder(text)) << text;
    // Inside the prefix: the user's profile on the prefix's C: drive.
    EXPECT_TRUE(StartsWith(text, "C:\\")) << text;
    EXPECT_TRUE(SameText(text, Environment("APPDATA"))) << text;
    const std::string profile = Environment("USERPROFILE");
    ASSERT_NE(profile, "");
    EXPECT_TRUE(StartsWith(text, profile + "\\")) << text << " not under " << profile;

    char buffer[kMaxPath] = "junk";
    EXPECT_TRUE(GetSpecialFolder(kAppDataFolder, buffer));
    EXPECT_STREQ(buffer, text.c_str());
}

// Folders the shell has no file-system path for: GetSpecialFolder still
// obtains the allocator (true) but empties the buffer, and the Windows
// directory stands in for them.
TEST(KnownFolders, FolderWithoutAPathFallsBackToTheWindowsDirectory)
{
    const int32_t folders[] = {
        CSIDL_CONTROLS, // virtual: the control panel
        CSIDL_DRIVES,   // virtual: the computer
        0x7F,           // no such folder
    };
    for (int32_t folder : folders) {
        char buffer[kMaxPath] = "junk";
        EXPECT_TRUE(GetSpecialFolder(folder, buffer)) << folder;
        EXPECT_STREQ(buffer, "") << folder;

        RCPath path("C:\\before");
        EXPECT_TRUE(SetToSpecialFolder(path, folder));
        EXPECT_TRUE(SameText(path.Text(), WindowsDirectory())) << folder << ": " << path.Text();
    }
}

// 表 (0x95 0x5C), ソ (0x83 0x5C) and 能 (0x94 0x5C): their 0x5C is no separator.
TEST(KnownFolders, ShiftJisNamesEndingIn5CReachTheFileSystem)
{
    ASSERT_EQ(GetACP(), 932u);
    TestFolder scratch("paths");
    const char* hyou = "\x95\x5C";            // 表
    const char* sonou = "\x83\x5C\x94\x5C";   // ソ能
    const char* file = "\x83\x5C\x94\x5C.txt"; // ソ能.txt

    RCPath path(scratch.Path().c_str());
    const int32_t base = path.Count();
    path.AppendComponent(hyou);
    ASSERT_TRUE(CreateDirectoryA(path.Text(), nullptr)) << path.Text();
    path.AppendComponent(sonou);
    ASSERT_TRUE(CreateDirectoryA(path.Text(), nullptr)) << path.Text();
    path.AppendComponent(file);
    ASSERT_TRUE(scratch.WriteFile(std::string(hyou) + "\\" + sonou + "\\" + file, "x"));
    EXPECT_EQ(GetFileAttributesA(path.Text()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << path.Text();

    // Read back from the file system: each level holds exactly the name given.
    EXPECT_EQ(OnlyEntry(scratch.Path()), hyou);
    EXPECT_EQ(OnlyEntry(scratch.Join(hyou)), sonou);
    EXPECT_EQ(OnlyEntry(scratch.Join(std::string(hyou) + "\\" + sonou)), file);

    // And the joined text parses back into the same components.
    RCPath again(path.Text());
    ASSERT_EQ(again.Count(), base + 3);
    EXPECT_STREQ(again.Component(base), hyou);
    EXPECT_STREQ(again.Component(base + 1), sonou);
    EXPECT_STREQ(again.Last(), file);
    EXPECT_STREQ(again.Extension(), "txt");
    while (again.Count() > base)
        again.RemoveLast();
    EXPECT_EQ(again.Text(), scratch.Path());
}
