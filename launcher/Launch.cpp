#include "launcher/Launch.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "launcher/ExitStatus.h"
#include "launcher/Messages.h"
#include "launcher/Restart.h"
#include "launcher/RunningPrograms.h"
#include "launcher/UserInterface.h"
#include "launcher/WorkFolder.h"
#include "launcher/WorkFolderChain.h"
#include "payload/StubSettings.h"
#include "support/RCAnsiStr.h"
#include "support/RCDirectory.h"
#include "support/RCPath.h"
#include "support/SystemPath.h"
#include "support/WinHandle.h"
#include "support/WindowsVersion.h"

namespace {

// The switch that every start of the installer carries.
constexpr char kSwitch[] = "/quillimarkmode";
// The installer's exit code that asks for a restart of Windows (0xD3A).
constexpr uint32_t kRestartCode = 3386;
static_assert(ExitStatus::kCannotRun != kRestartCode && ExitStatus::kWaitFailed != kRestartCode,
              "a status of the launcher's own never asks for a restart");
// Milliseconds between the installer's end and the removal of the work folder.
constexpr DWORD kPauseBeforeCleanUp = 2000;
// Milliseconds between two looks for programs running from the work folder.
constexpr DWORD kProgramsPoll = 250;
// Windows Vista (6.0) brought elevation, asked for through the shell.
constexpr int32_t kFirstElevatingMajor = 6;

// Keep the process handle, wait for a DDE conversation to end, and let the
// shell show no error box of its own (the launcher shows its own message).
constexpr ULONG kShellMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
static_assert(kShellMask == 0x540, "no-close-process, DDE wait, no error UI");

// Before Windows Vista: plain process creation, normal window, the
// launcher's own environment, the work folder as the current folder (as
// the shell gives it), no handles inherited.
bool StartByProcessCreation(const RCPath& installer, const SystemPath& folder, OwnedHandle& process,
                            OwnedHandle& thread)
{
    // The path goes in double quotes. On these systems the application-data
    // folder has blanks ("C:\Documents and Settings\..."), and without quotes
    // Windows would first try "C:\Documents.exe" and the like, running
    // whatever someone planted there. The switch is the last token.
    RCAnsiStr commandLine("\"");
    commandLine.Append(installer.Text());
    commandLine.Append("\" ");
    commandLine.Append(kSwitch);

    PROCESS_INFORMATION created{};
    if (!SystemPath(commandLine.Text()).StartProcess(folder, SW_SHOWNORMAL, created))
        return false;
    process.Reset(created.hProcess);
    thread.Reset(created.hThread);
    return true;
}

// From Windows Vista on: through the shell with the verb "runas", so that
// Windows can ask for elevation. A declined prompt is a failed call. On
// success the process handle may still be null (the shell handed the file
// to a program that was already running).
bool StartThroughShell(HWND owner, const RCPath& installer, const SystemPath& folder, OwnedHandle& process)
{
    HANDLE started = nullptr;
    if (!SystemPath(installer.Text()).StartThroughShell(owner, kShellMask, "runas", kSwitch, folder, SW_SHOWNORMAL,
                                                        started))
        return false;
    process.Reset(started);
    return true;
}

// Waits without a time limit for the process to end, answering the
// messages that other threads send to this thread's windows meanwhile. The
// launcher's windows are top-level windows: a program that sends a blocking
// broadcast (WM_SETTINGCHANGE after changing the environment, a DDE
// initiate) waits until every one of them has answered, so a wait that did
// not answer would leave both waiting for ever. Only sent messages are
// handled: posted ones (the form's timer, a close) stay in the queue, so no
// event of the launcher runs while the installer does. With a null
// process it only waits for the time given (after each message anew). True
// when the process ended or the time passed, false when the wait itself
// failed.
bool WaitAnsweringSentMessages(HANDLE process, DWORD limit)
{
    const DWORD count = process != nullptr ? 1 : 0;
    for (;;) {
        // Delivers every message sent to this thread so far (also those that
        // came before the wait began); with the filter and without PM_REMOVE
        // nothing posted is taken out or dispatched.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD woken = MsgWaitForMultipleObjects(count, &process, FALSE, limit, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + count)
            return woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT;
    }
}

// Waits, answering sent messages, until no program runs from inside the
// work folder: helpers that the installer started from there (a
// self-relaunch, an extracted setup engine) and left running use its files.
// Looked at a few times a second; reading a process's program path needs
// no rights over it, so an elevated helper counts too.
void WaitForProgramsRunningFrom(const char* folder)
{
    while (ProgramsRunningFrom(folder) > 0 && WaitAnsweringSentMessages(nullptr, kProgramsPoll)) {
    }
}

// Starts the installer the way this Windows wants: by process creation
// before Vista (and when the version cannot be told: the major version then
// stays 4), through the shell from Vista on. thread is set only by process
// creation.
bool StartInstaller(UserInterface& ui, const RCPath& installer, const char* workFolder, OwnedHandle& process,
                    OwnedHandle& thread)
{
    const SystemPath folder(workFolder);
    int32_t major = 4;
    int32_t minor = 0;
    int32_t build = 0;
    bool isNT = false;
    RCAnsiStr description;
    QueryWindowsVersion(&major, &minor, &build, &description, &isNT);
    return major < kFirstElevatingMajor ? StartByProcessCreation(installer, folder, process, thread)
                                        : StartThroughShell(ui.ProgressWindow(), installer, folder, process);
}

// The status that the launcher ends with once the installer has ended: its
// exit code. A start without a process handle (the shell handed the file to
// a program that was already running) has nothing to wait for and counts
// as 0; a wait or exit-code query that fails gives kWaitFailed.
uint32_t WaitForExitCode(const OwnedHandle& process)
{
    if (process.Get() == nullptr)
        return 0;
    DWORD reported = 0;
    if (!WaitAnsweringSentMessages(process.Get(), INFINITE) || !GetExitCodeProcess(process.Get(), &reported))
        return ExitStatus::kWaitFailed;
    return reported;
}

// The pause, then the work folder with everything in it; what cannot be
// removed stays on disk.
void RemoveWorkFolderAfterPause(const char* workFolder)
{
    Sleep(kPauseBeforeCleanUp);
    RCDirectory remover;
    remover.RemoveTree(workFolder, false, false);
}

} // namespace

bool launch(UserInterface& ui, WorkFolderChain& chain)
{
    RCPath workFolder;
    SetToWorkFolder(workFolder);
    RCAnsiStr name;
    StubSettings::InstallerName(name);
    return LaunchInstaller(ui, workFolder.Text(), name.Text(), chain);
}

bool LaunchInstaller(UserInterface& ui, const char* workFolder, const char* installerName)
{
    WorkFolderChain chain;
    return LaunchInstaller(ui, workFolder, installerName, chain);
}

bool LaunchInstaller(UserInterface& ui, const char* workFolder, const char* installerName, WorkFolderChain& chain)
{
    RCPath installer(workFolder);
    installer.AppendComponent(installerName);

    uint32_t status = ExitStatus::kCannotRun;
    {
        OwnedHandle process;
        OwnedHandle thread;
        if (StartInstaller(ui, installer, workFolder, process, thread)) {
            // Out of sight while the installer runs, without a time limit,
            // and while programs it left running from the work folder do.
            ui.HideWindows();
            status = WaitForExitCode(process);
            WaitForProgramsRunningFrom(workFolder);
        } else {
            ui.ShowMessage(nullptr, Messages::kCannotRun, Messages::kErrorCaption, Messages::kErrorStyle);
        }
    }
    // Started or not. Let go of first: the folder is removed as a whole.
    chain.ReleaseWorkFolder();
    RemoveWorkFolderAfterPause(workFolder);
    // Only the installer's own code asks for the restart: none of the
    // launcher's own statuses is 3386.
    if (status == kRestartCode)
        restart(ui, ui.ProgressWindow());
    ui.SetExitStatus(status);
    return true;
}
