// A scenario that ends the Wine session it runs in, for restart-scenario.sh
// to observe through Wine's relay trace: a whole launch whose installer
// ends with 3386, so the launcher restarts Windows. With QM_SCENARIO_HELPER
// set, the installer leaves a helper running from the work folder that
// outlasts the run (an engine that waits for the restart). It prints
// "thread=" (the id that its trace lines carry) and "workfolder="; then
// "returned events=" if it is still alive.
#include <windows.h>

#include <cstdio>
#include <string>

#include "launcher/Launch.h"
#include "launcher/WorkFolder.h"
#include "payload/StubSettings.h"
#include "support/RCAnsiStr.h"
#include "support/RCPath.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/LaunchRecorder.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"

int main()
{
    char allowed[8] = {};
    if (GetEnvironmentVariableA("QM_SESSION_MAY_END", allowed, sizeof allowed) != 1 || allowed[0] != '1') {
        std::fprintf(stderr, "restart_scenario: this program ends every process of its Wine session; "
                             "run it through restart-scenario.sh, in a prefix of its own\n");
        return 2;
    }
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        std::fprintf(stderr, "restart_scenario: wrong platform %lu; the prefix must give this program its version\n",
                     static_cast<unsigned long>(version.dwPlatformId));
        return 2;
    }
    std::printf("thread=%04lx\n", static_cast<unsigned long>(GetCurrentThreadId()));
    std::fflush(stdout);

    LaunchRecorder ui;
    // The work folder as extraction leaves it: the fixture as the installer.
    RCPath workFolder;
    SetToWorkFolder(workFolder);
    RCAnsiStr name;
    StubSettings::InstallerName(name);
    TestFolder::MakeFolders(workFolder.Text());
    const std::string installer = std::string(workFolder.Text()) + "\\" + name.Text();
    if (!CopyFileA((testwin::OwnFolder() + "\\installer_fixture.exe").c_str(), installer.c_str(), FALSE)) {
        std::fprintf(stderr, "restart_scenario: cannot place the installer %s\n", installer.c_str());
        return 2;
    }
    TestFolder::MakeFolders("C:\\qmtest\\restart-scenario");
    SetEnvironmentVariableA("QM_FIXTURE_REPORT", "C:\\qmtest\\restart-scenario\\report.txt");
    SetEnvironmentVariableA("QM_FIXTURE_EXIT", "3386");
    char helper[8] = {};
    if (GetEnvironmentVariableA("QM_SCENARIO_HELPER", helper, sizeof helper) > 0)
        SetEnvironmentVariableA("QM_FIXTURE_HELPER", std::to_string(testwin::Scaled(600000)).c_str());
    std::printf("workfolder=%s\n", workFolder.Text());
    std::fflush(stdout);
    LaunchInstaller(ui, workFolder.Text(), name.Text());
    std::printf("returned events=%s\n", ui.Kinds().c_str());
    std::fflush(stdout);
    return 0;
}
