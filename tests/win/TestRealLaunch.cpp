// The real stub with the installer fixture as its installer program, in
// both launch modes: the installer is packed by qm-build.exe under two
// names, which the launch tests' Wine prefix shows Windows XP x64 (process
// creation) and Windows 7 (the shell with "runas"). Run on code page 932,
// and as test_real_launch_en on code page 1252.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/shared/TestFolder.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"
#include "tools/ChildProcess.h"
#include "tools/WideText.h"

namespace {

// The names that the launch tests' prefix gives their Windows versions.
const char* const kSetups[] = {"real-setup-xp.exe", "real-setup-7.exe"};

std::string AppDataFolder()
{
    char path[MAX_PATH] = {};
    return SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path) == S_OK ? path : "";
}

struct InstallerRun {
    bool ended = false;
    DWORD exitCode = 0;
    DWORD processId = 0;
};

// Starts the installer with the command line given (UTF-8) and waits for
// it; one still running after the time allowed (a deadlock) is ended.
InstallerRun RunInstaller(const std::string& commandLine, DWORD timeoutMs)
{
    InstallerRun run;
    std::wstring line = WideText::FromUtf8(commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return run;
    run.processId = process.dwProcessId;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        run.ended = GetExitCodeProcess(process.hProcess, &run.exitCode) != 0;
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, testwin::Scaled(5000));
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

// The installers of both names in scratch, each packed with the fixture.
class RealLaunch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string program;
        ASSERT_TRUE(TestFolder::ReadFile(testwin::ThroughZ(QM_INSTALLER_FIXTURE), &program));
        ASSERT_TRUE(scratch.WriteFile("src\\lvxrun.exe", program));
        for (const char* name : kSetups) {
            std::string output;
            ASSERT_EQ(ChildProcess::Run({testwin::ThroughZ(QM_BUILD_TOOL), "-q", "--stub", testwin::ThroughZ(QM_STUB),
                                         "--source", scratch.Join("src"), "--installer", "lvxrun.exe", "--output",
                                         scratch.Join(name)},
                                        output),
                      0)
                << output;
        }
    }

    // Runs the installer of that name with the arguments (UTF-8) after its
    // own name (in quotes, or as it is); the fixture's report, empty when
    // it did not run. The launcher must end, and its work folder go.
    std::string Run(const char* name, const std::string& arguments, bool quoted = true)
    {
        const std::string report = scratch.Join(std::string(name) + ".txt");
        DeleteFileA(report.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", report.c_str());
        const std::string setup = scratch.Join(name);
        const InstallerRun run =
            RunInstaller((quoted ? "\"" + setup + "\"" : setup) + (arguments.empty() ? "" : " " + arguments),
                         testwin::Scaled(60000));
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", nullptr);
        EXPECT_TRUE(run.ended) << "the launcher did not end";
        EXPECT_EQ(run.exitCode, 0u);
        char id[16];
        std::snprintf(id, sizeof id, "%08lX", static_cast<unsigned long>(run.processId));
        const std::string workFolder = AppDataFolder() + "\\Orvane\\Lumavex\\Quillimark\\" + id;
        EXPECT_EQ(GetFileAttributesA(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << workFolder;
        std::string text;
        TestFolder::ReadFile(report, &text);
        return text;
    }

    TestFolder scratch{"real-launch"};
};

// The value of the report's line "key=...".
std::string Value(const std::string& report, const std::string& key)
{
    const std::string head = key + "=";
    const size_t at = report.compare(0, head.size(), head) == 0 ? 0 : report.find("\n" + head);
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + (at == 0 ? 0 : 1) + head.size();
    return report.substr(start, report.find('\n', start) - start);
}

} // namespace

// The runs are what they claim to be.
TEST_F(RealLaunch, RunsInTheCodePageAskedFor)
{
    const char* expected = std::getenv("QM_EXPECT_ACP");
    EXPECT_EQ(GetACP(), expected != nullptr ? static_cast<UINT>(std::atoi(expected)) : 932u);
}

// An installer program that sends a blocking broadcast while the launcher
// waits for it (as installers do after changing the environment): the
// launcher's hidden windows answer, so that both go on, and the launcher
// ends with 0.
TEST_F(RealLaunch, TheLauncherAnswersABroadcastAndEnds)
{
    for (const char* name : kSetups) {
        SCOPED_TRACE(name);
        SetEnvironmentVariableA("QM_FIXTURE_BROADCAST", "1");
        const std::string report = Run(name, "");
        SetEnvironmentVariableA("QM_FIXTURE_BROADCAST", nullptr);
        EXPECT_NE(report.find("broadcast=answered\n"), std::string::npos) << report;
        EXPECT_NE(report.find("\nend\n"), std::string::npos) << report;
    }
}

// Whatever follows the launcher's own name on its command line reaches the
// installer program unchanged after "/quillimarkmode" and one blank, also
// text in other scripts on either code page (a character that code page
// 932 lacks takes the wide route there); nothing: the switch is last.
TEST_F(RealLaunch, SwitchesReachTheInstallerProgram)
{
    const struct {
        const char* arguments; // UTF-8
        bool quoted;           // the launcher's own name in quotes
    } cases[] = {
        {"", true},
        {"/S", true},
        {"/S /D=C:\\Apps", false},
        {"/DIR=\"C:\\Program Files\\My App\" \"a\\\"b\" c\\\\\"d e\"", true},
        {u8"/NAME=日本語 \"インストール先\"", true},
        {u8"/D=C:\\Café /LANG=한국어", true},
    };
    for (const char* name : kSetups) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.arguments);
            const std::string report = Run(name, c.arguments, c.quoted);
            const std::string line = Value(report, "commandlinew");
            ASSERT_FALSE(line.empty()) << "the installer did not run: " << report;
            const std::string tail = std::string(" /quillimarkmode") + (*c.arguments != '\0' ? " " : "") + c.arguments;
            ASSERT_GE(line.size(), tail.size()) << line;
            EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
        }
    }
}
