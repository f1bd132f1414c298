// The installer launch, wait and clean-up, against the installer fixture.
// Built twice: test_launch_shell runs where Windows reports version 6.1
// (start through the shell with "runas"), test_launch_process where it
// reports 5.2 (process creation); the Wine prefix of these tests gives each
// program its version by name.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/ExitStatus.h"
#include "tests/win/LaunchScenario.h"
#include "tests/win/ShiftJisText.h"

#ifndef QM_LAUNCH_BY_SHELL
#error "QM_LAUNCH_BY_SHELL (1: Windows 6 and later, 0: before) must be defined"
#endif

namespace {

// Every test here depends on the Windows version the program is shown.
void ExpectVersionOfThisBuild()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    const bool byShell = version.dwMajorVersion >= 6;
    ASSERT_EQ(byShell, QM_LAUNCH_BY_SHELL != 0)
        << "Windows reports " << version.dwMajorVersion << "." << version.dwMinorVersion
        << ": run this program in the launch tests' Wine prefix (ctest sets it up), which gives it its version";
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Parent(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\'));
}

} // namespace

// The whole way through: started from the work folder with the switch,
// windows hidden while it runs, waited for, the work folder removed two
// seconds after its end and nothing else. The work folder's path has blanks
// and a program is planted where an unquoted command line would find it.
TEST(Launch, RunsTheInstallerWaitsAndRemovesTheWorkFolderAfterThePause)
{
    ExpectVersionOfThisBuild();
    LaunchScenario scenario("launch-run", true);
    ASSERT_TRUE(scenario.PlaceInstaller());
#if QM_LAUNCH_BY_SHELL
    // No restart: its code is 3386 (0xD3A), which these low 16 bits repeat.
    const uint32_t exitCode = 0x10D3A;
#else
    const uint32_t exitCode = 0;
#endif
    scenario.Run(exitCode);

    // The launcher ends with the installer's own code.
    EXPECT_EQ(scenario.Recorder().ExitStatus(), exitCode);

    // One run, of the installer itself; the planted program never ran.
    EXPECT_EQ(scenario.Reported("module"), std::vector<std::string>{scenario.Installer()});
    ASSERT_EQ(scenario.CompleteReports(), 1u);

    const std::string commandLine = scenario.Reported("commandline").at(0);
#if QM_LAUNCH_BY_SHELL
    // The shell builds the command line from file and parameters.
    EXPECT_NE(commandLine.find(scenario.Installer()), std::string::npos) << commandLine;
    const std::string tail = " /quillimarkmode";
    ASSERT_GE(commandLine.size(), tail.size());
    EXPECT_EQ(commandLine.substr(commandLine.size() - tail.size()), tail) << commandLine;
#else
    // The path in quotes, the switch the last token.
    EXPECT_EQ(commandLine, "\"" + scenario.Installer() + "\" /quillimarkmode");
#endif
    // Either way it runs in its own folder, the work folder.
    EXPECT_EQ(scenario.Reported("folder"), std::vector<std::string>{scenario.WorkFolder()});

    // Everything extraction left was there while it ran.
    std::vector<std::string> beside = scenario.Reported("beside");
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"data", "lvxrun.exe", "setup.ini"})) << scenario.ReportText();

    // Hidden once started, while the installer still ran; nothing shown.
    EXPECT_EQ(scenario.Recorder().Kinds(), "hide");
    EXPECT_EQ(scenario.Reported("hold"), std::vector<std::string>{"yes"});

    // Removed, and not before two seconds after the installer's end (a
    // little is allowed for the tick count's granularity).
    ASSERT_TRUE(scenario.Removed());
    const uint32_t endedAt = static_cast<uint32_t>(std::stoul(scenario.Reported("tick").at(0)));
    EXPECT_GE(scenario.RemovedAt() - endedAt, 1900u);
    // Only the work folder: its parent and the planted program stay.
    EXPECT_TRUE(Exists(Parent(scenario.WorkFolder())));
    EXPECT_TRUE(Exists(scenario.Planted()));
}

// An installer that starts a helper from the work folder and ends at once
// (a self-relaunch, an extracted setup engine): the work folder stays until
// the helper has ended too, so the helper still reads every file there
// five seconds after the installer's end.
TEST(Launch, WaitsForProgramsLeftRunningFromTheWorkFolder)
{
    ExpectVersionOfThisBuild();
    LaunchScenario scenario("launch-helper", false);
    ASSERT_TRUE(scenario.PlaceInstaller());
    SetEnvironmentVariableA("QM_FIXTURE_HELPER", "5000");
    scenario.Run(0);
    SetEnvironmentVariableA("QM_FIXTURE_HELPER", nullptr);

    EXPECT_EQ(scenario.Reported("helper"), std::vector<std::string>{"read"}) << scenario.ReportText();
    ASSERT_EQ(scenario.CompleteReports(), 1u);
    const uint32_t endedAt = static_cast<uint32_t>(std::stoul(scenario.Reported("tick").at(0)));
    ASSERT_TRUE(scenario.Removed());
    EXPECT_GE(scenario.RemovedAt() - endedAt, 5000u + 1900u);
    EXPECT_EQ(scenario.Recorder().ExitStatus(), 0u);
}

// An installer that sends a blocking broadcast (as many do after changing
// the environment) while the launcher waits for it: the launcher's
// top-level window answers it, so both go on; its own events (a timer tick,
// a close) stay queued and nothing of the launcher runs meanwhile.
TEST(Launch, AnswersABroadcastWhileItWaitsAndRunsNoEventOfItsOwn)
{
    ExpectVersionOfThisBuild();
    LaunchScenario scenario("launch-broadcast", false);
    ASSERT_TRUE(scenario.PlaceInstaller());
    const HWND window = scenario.Recorder().ProgressWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));

    scenario.Run(0, true);

    EXPECT_EQ(scenario.Reported("broadcast"), std::vector<std::string>{"answered"}) << scenario.ReportText();
    ASSERT_EQ(scenario.CompleteReports(), 1u);
    EXPECT_EQ(scenario.Recorder().Kinds(), "hide answered");
    // What was posted is still there for the launcher's own loop.
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_TRUE(PeekMessageA(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE));
    KillTimer(window, 1);
    ASSERT_TRUE(scenario.Removed());
}

// No installer in the work folder: the message, no hiding, and the same
// pause and clean-up. This one uses the real application-data folder.
TEST(Launch, MissingInstallerIsReportedAndTheWorkFolderStillRemoved)
{
    ExpectVersionOfThisBuild();
    LaunchScenario scenario("launch-missing", false);
    scenario.Run(0);

    EXPECT_TRUE(scenario.Reported("module").empty());
    const std::vector<LaunchRecorder::Event>& events = scenario.Recorder().Events();
    ASSERT_EQ(scenario.Recorder().Kinds(), "message");
    EXPECT_EQ(ShiftJisToUtf8(events[0].text), u8"プログラムを実行できませんでした。");
    EXPECT_EQ(ShiftJisToUtf8(events[0].caption), u8"エラー");
    EXPECT_EQ(events[0].style, 16u);
    EXPECT_EQ(scenario.Recorder().ExitStatus(), ExitStatus::kCannotRun);

    ASSERT_TRUE(scenario.Removed());
    EXPECT_GE(scenario.RemovedAt() - events[0].tick, 1900u);
    EXPECT_TRUE(Exists(Parent(scenario.WorkFolder())));
}
