// The real stub with an installer program that sends a blocking broadcast
// while the launcher waits for it (as installers do after changing the
// environment), in both launch modes: the installer is packed by
// qm-build.exe under two names, which the launch tests' Wine prefix shows
// Windows XP x64 (process creation) and Windows 7 (the shell with "runas").
// The launcher's hidden windows must answer, so that both go on: the
// launcher ends with 0 and its work folder is gone.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <string>

#include "tests/shared/TestFolder.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"
#include "tools/ChildProcess.h"

namespace {

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

// Starts the installer and waits for it; one still running after the time
// allowed (the deadlock) is ended.
InstallerRun RunInstaller(const std::string& exe, DWORD timeoutMs)
{
    InstallerRun run;
    std::string line = "\"" + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
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

} // namespace

TEST(LaunchBroadcast, TheLauncherAnswersAndEndsInBothModes)
{
    TestFolder scratch("broadcast");
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(testwin::ThroughZ(QM_INSTALLER_FIXTURE), &program));
    ASSERT_TRUE(scratch.WriteFile("src\\lvxrun.exe", program));
    const std::string appData = AppDataFolder();
    ASSERT_FALSE(appData.empty());

    // The names the launch tests' prefix gives their Windows versions.
    for (const char* name : {"broadcast-setup-xp.exe", "broadcast-setup-7.exe"}) {
        SCOPED_TRACE(name);
        const std::string setup = scratch.Join(name);
        std::string output;
        ASSERT_EQ(ChildProcess::Run({testwin::ThroughZ(QM_BUILD_TOOL), "-q", "--stub", testwin::ThroughZ(QM_STUB), "--source",
                                     scratch.Join("src"), "--installer", "lvxrun.exe", "--output", setup},
                                    output),
                  0)
            << output;

        const std::string report = scratch.Join(std::string(name) + ".txt");
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", report.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_BROADCAST", "1");
        const InstallerRun run = RunInstaller(setup, testwin::Scaled(60000));
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", nullptr);
        SetEnvironmentVariableA("QM_FIXTURE_BROADCAST", nullptr);

        ASSERT_TRUE(run.ended) << "the launcher did not end: it and its installer wait for each other";
        EXPECT_EQ(run.exitCode, 0u);
        std::string text;
        ASSERT_TRUE(TestFolder::ReadFile(report, &text)) << "the installer did not run";
        EXPECT_NE(text.find("broadcast=answered\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\nend\n"), std::string::npos) << text;
        char id[16];
        std::snprintf(id, sizeof id, "%08lX", static_cast<unsigned long>(run.processId));
        const std::string workFolder = appData + "\\Orvane\\Lumavex\\Quillimark\\" + id;
        EXPECT_EQ(GetFileAttributesA(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << workFolder;
    }
}
