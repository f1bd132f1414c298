// A version.dll planted beside the stub is never loaded into it.
//
// Under Wine, user32 imports version.dll; with a native version.dll
// preferred (WINEDLLOVERRIDES version=n,b, as Windows searches the
// program's folder first for DLLs that are not known DLLs) any program that
// imports user32 at load time loads the planted one before its entry point.
// The control program shows that it does; the stub, which imports only
// kernel32 and the C runtime and limits the DLL search before it loads
// user32, must not. Wine takes the overrides of a program from the
// environment it was started in, not from changes made to it later: the
// test is run with WINEDLLOVERRIDES holding version=n,b (see the CMake
// file), which its children inherit.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "launcher/ExitStatus.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WatchedRun.h"
#include "tests/win/WineHelpers.h"

using testwin::OwnFolder;

namespace {

std::string Environment(const char* name)
{
    char value[4096] = {};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

int RunAndWait(const std::string& program)
{
    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, testwin::Scaled(60000));
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

class DllPlanting : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string built = OwnFolder();
        ASSERT_TRUE(CopyFileA((built + "\\planted\\version.dll").c_str(), folder_.Join("version.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((built + "\\planting_control.exe").c_str(), Control().c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((built + "\\..\\launcher\\quillimark-stub.exe").c_str(), Stub().c_str(), FALSE));
        ASSERT_NE(Environment("WINEDLLOVERRIDES").find("version=n,b"), std::string::npos)
            << "run with WINEDLLOVERRIDES=version=n,b";
    }

    std::string Control() const { return folder_.Join("planting_control.exe"); }
    std::string Stub() const { return folder_.Join("setup.exe"); }
    std::string Mark() const { return folder_.Join("planted-version-loaded.txt"); }
    bool Marked() const { return GetFileAttributesA(Mark().c_str()) != INVALID_FILE_ATTRIBUTES; }

    TestFolder folder_{"planting"};
};

TEST_F(DllPlanting, TheControlProgramLoadsThePlantedDll)
{
    EXPECT_EQ(RunAndWait(Control()), 0);
    std::string mark;
    ASSERT_TRUE(TestFolder::ReadFile(Mark(), &mark)) << "the plant did not work: the test would prove nothing";
    EXPECT_NE(mark.find("planting_control.exe"), std::string::npos) << mark;
}

TEST_F(DllPlanting, TheStubNeverLoadsIt)
{
    // Under the watcher, which dismisses any message box. The bare stub's
    // default payload offset finds no payload: it ends as damaged.
    WatchedRun run = Watch(Stub(), "watch", {});
    EXPECT_EQ(run["started"], "1");
    EXPECT_EQ(run["timeout"], "");
    EXPECT_EQ(run["exit"], std::to_string(ExitStatus::kDamaged));
    std::string mark;
    EXPECT_FALSE(TestFolder::ReadFile(Mark(), &mark)) << "loaded by: " << mark;
}

} // namespace
