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

#include <shellapi.h>

#include "launcher/ExitStatus.h"
#include "tests/win/LaunchScenario.h"
#include "tests/win/ShiftJisText.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"

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

// While set, every process refuses to be opened (access denied), as the
// processes of an installer elevated under another account do for a
// standard user's launcher: not even a program's path can be read.
bool refuseOpeningProcesses = false;

HANDLE WINAPI RefusingOpenProcess(DWORD access, BOOL inherit, DWORD id)
{
    using OpenFn = HANDLE(WINAPI*)(DWORD, BOOL, DWORD);
    static const OpenFn realOpen = reinterpret_cast<OpenFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "OpenProcess")));
    if (!refuseOpeningProcesses)
        return realOpen(access, inherit, id);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

// The helper's process id, from its report line, ended: it would outlast the test.
void EndHelper(const LaunchScenario& scenario)
{
    for (const std::string& id : scenario.Reported("helperpid")) {
        HANDLE helper = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(id));
        if (helper != nullptr) {
            TerminateProcess(helper, 0);
            WaitForSingleObject(helper, testwin::Scaled(10000));
            CloseHandle(helper);
        }
    }
}

// A program that runs before the launcher starts, so that none of what it
// starts is one of the launcher's descendants: once the event comes, it
// starts program (a copy of the installer fixture, by whatever path) as a
// helper that reads every file beside it after delay milliseconds.
class Broker {
public:
    Broker(const std::string& event, const std::string& program, const std::string& report, DWORD delay)
    {
        SetEnvironmentVariableA("QM_FIXTURE_BROKER", event.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_BROKER_RUN", program.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_BROKER_DELAY", std::to_string(delay).c_str());
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", report.c_str());
        std::string line = "\"" + testwin::OwnFolder() + "\\installer_fixture.exe\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_);
        for (const char* name : {"QM_FIXTURE_BROKER", "QM_FIXTURE_BROKER_RUN", "QM_FIXTURE_BROKER_DELAY",
                                 "QM_FIXTURE_REPORT"})
            SetEnvironmentVariableA(name, nullptr);
    }
    ~Broker()
    {
        if (!started_)
            return;
        WaitForSingleObject(info_.hProcess, testwin::Scaled(30000));
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;
    bool Started() const { return started_ != 0; }

private:
    PROCESS_INFORMATION info_{};
    BOOL started_ = FALSE;
};

// While set, a start through the shell gives back no process, as when the
// shell hands the file to a program that is already running.
bool noProcessFromTheShell = false;

BOOL WINAPI ShellWithoutProcess(SHELLEXECUTEINFOA* request)
{
    using ShellFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
    static const ShellFn realShell = reinterpret_cast<ShellFn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("shell32.dll"), "ShellExecuteExA")));
    const BOOL started = realShell(request);
    if (started && noProcessFromTheShell && request->hProcess != nullptr) {
        CloseHandle(request->hProcess);
        request->hProcess = nullptr;
    }
    return started;
}

} // namespace

#if defined(_WIN64)
#define QM_SHELL_SLOT "__imp_ShellExecuteExA"
#else
#define QM_SHELL_SLOT "__imp__ShellExecuteExA@4"
#endif
extern "C" {
// Every start through the shell in this program goes through this slot
// (the tests here run on code page 932 with plain paths: the ANSI route).
BOOL(WINAPI* qmShellSlot)(SHELLEXECUTEINFOA*) __asm__(QM_SHELL_SLOT) = ShellWithoutProcess;
}

#if defined(_WIN64)
#define QM_OPEN_PROCESS_SLOT "__imp_OpenProcess"
#else
#define QM_OPEN_PROCESS_SLOT "__imp__OpenProcess@12"
#endif
extern "C" {
// Every call of OpenProcess in this program goes through this slot.
HANDLE(WINAPI* qmOpenProcessSlot)(DWORD, BOOL, DWORD) __asm__(QM_OPEN_PROCESS_SLOT) = RefusingOpenProcess;
}

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
// five seconds after the installer's end. Also when the launcher cannot
// open the installer's processes (elevated under another account): the
// helper is found as the installer's child all the same.
TEST(Launch, WaitsForProgramsLeftRunningFromTheWorkFolder)
{
    ExpectVersionOfThisBuild();
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "processes refuse to be opened" : "processes can be opened");
        LaunchScenario scenario("launch-helper", false);
        ASSERT_TRUE(scenario.PlaceInstaller());
        SetEnvironmentVariableA("QM_FIXTURE_HELPER", "5000");
        refuseOpeningProcesses = refused;
        scenario.Run(0);
        refuseOpeningProcesses = false;
        SetEnvironmentVariableA("QM_FIXTURE_HELPER", nullptr);

        EXPECT_EQ(scenario.Reported("helper"), std::vector<std::string>{"read"}) << scenario.ReportText();
        ASSERT_EQ(scenario.CompleteReports(), 1u);
        const uint32_t endedAt = static_cast<uint32_t>(std::stoul(scenario.Reported("tick").at(0)));
        ASSERT_TRUE(scenario.Removed());
        EXPECT_GE(scenario.RemovedAt() - endedAt, 5000u + 1900u);
        EXPECT_EQ(scenario.Recorder().ExitStatus(), 0u);
    }
}

// A program that runs from the work folder but was not started by the
// installer (here by a program that ran before the launcher: an agent, a
// scheduled task) and whose path spells the work folder otherwise: through
// a drive letter mapped onto the application-data folder, or in short
// names. It is found by the folder's identity: the work folder stays until
// it has ended.
TEST(Launch, WaitsForProgramsRunningFromTheWorkFolderUnderAnotherSpelling)
{
    ExpectVersionOfThisBuild();
    const struct {
        const char* what;
        bool mapped;
    } cases[] = {{"a drive letter mapped onto the application-data folder", true}, {"short names", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Below a stand-in for the application-data folder with long names
        // ("Documents and Settings", "Application Data").
        LaunchScenario scenario("launch-spelling", true);
        ASSERT_TRUE(scenario.PlaceInstaller());
        const std::string& installer = scenario.Installer();
        const std::string scratch = Parent(Parent(Parent(scenario.Base())));
        const std::string drive = testwin::FreeDrive();
        std::string spelled;
        if (c.mapped) {
            ASSERT_FALSE(drive.empty());
            ASSERT_TRUE(testwin::MapDrive(scratch, drive, scenario.Base())) << drive << " onto " << scenario.Base();
            spelled = drive + installer.substr(scenario.Base().size());
        } else {
            char shortPath[MAX_PATH] = {};
            ASSERT_GT(GetShortPathNameA(installer.c_str(), shortPath, MAX_PATH), 0u);
            spelled = shortPath;
        }
        ASSERT_NE(spelled, installer);
        ASSERT_TRUE(Exists(spelled)) << spelled;

        const std::string event = "qm-launch-spelling-" + std::to_string(GetCurrentProcessId());
        HANDLE started = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        ASSERT_NE(started, nullptr);
        {
            Broker broker(event, spelled, scenario.ReportPath(), 5000);
            ASSERT_TRUE(broker.Started());
            SetEnvironmentVariableA("QM_FIXTURE_STARTED", event.c_str());
            scenario.Run(0);
            SetEnvironmentVariableA("QM_FIXTURE_STARTED", nullptr);
        }
        CloseHandle(started);
        if (c.mapped) {
            EXPECT_TRUE(testwin::UnmapDrive(scratch, drive));
        }

        EXPECT_EQ(scenario.Reported("helper"), std::vector<std::string>{"read"}) << scenario.ReportText();
        ASSERT_TRUE(scenario.Removed());
        EXPECT_EQ(scenario.Recorder().ExitStatus(), 0u);
    }
}

// A helper that stays (a tray agent started from the work folder, an
// engine that waits for a restart that nobody asks for): the launcher
// gives it up at its limit, ends with the installer's code and leaves the
// work folder whole for a later launcher's sweep. Nothing is removed under
// the helper, which is still running when the launcher has ended.
TEST(Launch, GivesUpOnAHelperThatStaysAndLeavesTheWorkFolderWhole)
{
    ExpectVersionOfThisBuild();
    LaunchScenario scenario("launch-stays", false);
    ASSERT_TRUE(scenario.PlaceInstaller());
    SetEnvironmentVariableA("QM_FIXTURE_HELPER", std::to_string(testwin::Scaled(120000)).c_str());
    scenario.Run(0, false, testwin::Scaled(3000));
    SetEnvironmentVariableA("QM_FIXTURE_HELPER", nullptr);

    EXPECT_EQ(scenario.Recorder().ExitStatus(), 0u);
    ASSERT_EQ(scenario.Reported("helperpid").size(), 1u) << scenario.ReportText();
    EXPECT_TRUE(scenario.Reported("helper").empty()) << "the helper ended before the launcher";
    EXPECT_FALSE(scenario.Removed());
    EXPECT_TRUE(Exists(scenario.Installer()));
    EXPECT_TRUE(Exists(scenario.WorkFolder() + "\\setup.ini"));
    EndHelper(scenario);
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

// A command line longer than Windows takes (32,767 units with the
// terminator) is never cut: the launcher says that the program cannot run
// and ends with 9108. One that just fits runs whole.
TEST(Launch, ACommandLineThatWindowsCannotTakeIsRefusedNotCut)
{
    ExpectVersionOfThisBuild();
    for (const size_t over : {0u, 1u}) {
        SCOPED_TRACE(over != 0 ? "one unit over" : "at the limit");
        LaunchScenario scenario("launch-long", false);
        ASSERT_TRUE(scenario.PlaceInstaller());
        const std::string head = "\"" + scenario.Installer() + "\" /quillimarkmode ";
        const std::string arguments = "/" + std::string(32766 - head.size() - 1 + over, 'x');
        scenario.Run(0, false, kHelperWaitLimit, arguments);
        if (over == 0) {
            const std::vector<std::string> lines = scenario.Reported("commandline");
            ASSERT_EQ(lines.size(), 1u) << "the installer did not run";
            EXPECT_EQ(lines[0].size(), 32766u);
            EXPECT_EQ(lines[0].substr(lines[0].size() - arguments.size()), arguments);
            EXPECT_EQ(scenario.Recorder().ExitStatus(), 0u);
            continue;
        }
        EXPECT_TRUE(scenario.Reported("module").empty()) << "the installer ran";
        ASSERT_EQ(scenario.Recorder().Kinds(), "message");
        EXPECT_EQ(ShiftJisToUtf8(scenario.Recorder().Events()[0].text), u8"プログラムを実行できませんでした。");
        EXPECT_EQ(scenario.Recorder().ExitStatus(), ExitStatus::kCannotRun);
        EXPECT_TRUE(scenario.Removed());
    }
}

#if QM_LAUNCH_BY_SHELL
// The shell may hand the installer to a program that is already running and
// give back no process: there is no exit code to wait for. The launcher
// still waits for what runs from the work folder (here the installer
// itself), removes the work folder only after it, and ends with 9109.
TEST(Launch, NoProcessFromTheShellIsWaitedForAndEndsWith9109)
{
    ExpectVersionOfThisBuild();
    LaunchScenario scenario("launch-no-process", false);
    ASSERT_TRUE(scenario.PlaceInstaller());
    noProcessFromTheShell = true;
    scenario.Run(0);
    noProcessFromTheShell = false;

    ASSERT_EQ(scenario.CompleteReports(), 1u) << scenario.ReportText();
    EXPECT_EQ(scenario.Recorder().ExitStatus(), ExitStatus::kWaitFailed);
    ASSERT_TRUE(scenario.Removed());
    const uint32_t endedAt = static_cast<uint32_t>(std::stoul(scenario.Reported("tick").at(0)));
    EXPECT_GE(scenario.RemovedAt() - endedAt, 1900u);
}
#endif
