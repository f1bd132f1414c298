#include "launcher/Launch.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>

#include "launcher/ExitStatus.h"
#include "launcher/Messages.h"
#include "launcher/Restart.h"
#include "launcher/RunningPrograms.h"
#include "launcher/UserInterface.h"
#include "launcher/WorkFolderChain.h"
#include "payload/StubSettings.h"
#include "support/CommandLine.h"
#include "support/RCAnsiStr.h"
#include "support/RCPath.h"
#include "support/RCTreeClaim.h"
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
// Milliseconds between the installer's end (and its helpers') and the
// removal of the work folder.
constexpr DWORD kPauseBeforeCleanUp = 2000;
// Milliseconds between two looks at the processes, and at the work folder.
constexpr DWORD kProgramsPoll = 250;
// Windows Vista (6.0) brought elevation, asked for through the shell.
constexpr int32_t kFirstElevatingMajor = 6;

// Keep the process handle, wait for a DDE conversation to end, and let the
// shell show no error box of its own (the launcher shows its own message).
constexpr ULONG kShellMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
static_assert(kShellMask == 0x540, "no-close-process, DDE wait, no error UI");

// Windows takes a command line of at most this many UTF-16 units, the
// terminator included.
constexpr int32_t kCommandLineRoom = 32767;

// The installer's command line: its path in double quotes, the switch, and
// the launcher's own arguments after one blank, unchanged (none: nothing
// after the switch). On Windows before Vista the application-data folder
// has blanks ("C:\Documents and Settings\..."), and without quotes Windows
// would first try "C:\Documents.exe" and the like, running whatever
// someone planted there. False when Windows could not take it whole:
// nothing is ever cut.
bool MakeCommandLine(const RCPath& installer, const char* arguments, RCAnsiStr& commandLine)
{
    commandLine.Assign("\"");
    commandLine.Append(installer.Text());
    commandLine.Append("\" ");
    commandLine.Append(kSwitch);
    if (*arguments != '\0') {
        commandLine.Append(" ");
        commandLine.Append(arguments);
    }
    return SystemPath(commandLine.Text()).Units() < kCommandLineRoom;
}

// Before Windows Vista: plain process creation of that command line,
// normal window, the launcher's own environment, the work folder as the
// current folder (as the shell gives it), no handles inherited.
bool StartByProcessCreation(const RCAnsiStr& commandLine, const SystemPath& folder, OwnedHandle& process,
                            OwnedHandle& thread)
{
    PROCESS_INFORMATION created{};
    if (!SystemPath(commandLine.Text()).StartProcess(folder, SW_SHOWNORMAL, created))
        return false;
    process.Reset(created.hProcess);
    thread.Reset(created.hThread);
    return true;
}

// From Windows Vista on: through the shell with the verb "runas", so that
// Windows can ask for elevation; the shell makes the same command line of
// the file and the parameters. A declined prompt is a failed call. On
// success the process handle may still be null (the shell handed the file
// to a program that was already running).
bool StartThroughShell(HWND owner, const RCPath& installer, const char* parameters, const SystemPath& folder,
                       OwnedHandle& process)
{
    HANDLE started = nullptr;
    if (!SystemPath(installer.Text()).StartThroughShell(owner, kShellMask, "runas", parameters, folder,
                                                        SW_SHOWNORMAL, started))
        return false;
    process.Reset(started);
    return true;
}

// Waits for the process to end, or for the time given (a null process:
// only the time, after each message anew), answering the messages that
// other threads send to this thread's windows meanwhile. The launcher's
// windows are top-level windows: a program that sends a blocking
// broadcast (WM_SETTINGCHANGE after changing the environment, a DDE
// initiate) waits until every one of them has answered, so a wait that did
// not answer would leave both waiting for ever. Only sent messages are
// handled: posted ones (the form's timer, a close) stay in the queue, so no
// event of the launcher runs while the installer does. WAIT_OBJECT_0 when
// the process ended, WAIT_TIMEOUT when the time passed, WAIT_FAILED when
// the wait itself failed.
DWORD WaitAnsweringSentMessages(HANDLE process, DWORD limit)
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
            return woken;
    }
}

// Starts the installer the way this Windows wants: by process creation
// before Vista (and when the version cannot be told: the major version then
// stays 4), through the shell from Vista on. thread is set only by process
// creation.
bool StartInstaller(UserInterface& ui, const RCPath& installer, const char* workFolder, const char* arguments,
                    OwnedHandle& process, OwnedHandle& thread)
{
    RCAnsiStr commandLine;
    if (!MakeCommandLine(installer, arguments, commandLine))
        return false;
    // The parameters: the command line after the quoted path and its blank.
    const char* parameters = commandLine.Text() + std::strlen(installer.Text()) + 3;
    const SystemPath folder(workFolder);
    int32_t major = 4;
    int32_t minor = 0;
    int32_t build = 0;
    bool isNT = false;
    RCAnsiStr description;
    QueryWindowsVersion(&major, &minor, &build, &description, &isNT);
    return major < kFirstElevatingMajor
               ? StartByProcessCreation(commandLine, folder, process, thread)
               : StartThroughShell(ui.ProgressWindow(), installer, parameters, folder, process);
}

// The status that the launcher ends with once the installer has ended: its
// exit code. A start without a process handle (the shell handed the file to
// a program that was already running) gives no exit code to wait for, and
// so does a wait or exit-code query that fails: kWaitFailed (the programs
// that run from the work folder are still waited for). Meanwhile
// the installer's descendants are looked at a few times a second, so that
// a helper is known as one even when the program that started it ends
// before the next look.
uint32_t WaitForExitCode(const OwnedHandle& process, RunningPrograms& programs)
{
    if (process.Get() == nullptr)
        return ExitStatus::kWaitFailed;
    DWORD woken;
    while ((woken = WaitAnsweringSentMessages(process.Get(), kProgramsPoll)) == WAIT_TIMEOUT)
        programs.Look();
    DWORD reported = 0;
    if (woken != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), &reported))
        return ExitStatus::kWaitFailed;
    return reported;
}

// Removes the work folder once nothing uses it: no program that the
// launcher started, directly or not, runs any more (also one that it
// cannot open: of another account, a service), no program runs from the
// work folder, then, after the pause, nothing in it is open anywhere (a
// program's current folder, a file). The last test is a claim of the whole
// tree, and the removal goes through that claim. After limit milliseconds
// of waiting (0: one look) the work folder stays whole, for the sweep of a
// later launcher; nothing is ever removed under a program that uses it.
// Answers sent messages all along.
void RemoveWorkFolderWhenUnused(WorkFolderChain& chain, RunningPrograms& programs, DWORD limit)
{
    RCTreeClaim claim;
    // The time waited is counted in looks: the looks themselves add a
    // little to it.
    for (DWORD waited = 0, paused = 0;; waited += kProgramsPoll) {
        // Processes first; a list that cannot be had counts as in use. The
        // pause comes once they are gone, and again if one came back.
        if (programs.Using(chain.WorkFolderObject()) != 0) {
            paused = 0;
        } else if (!paused++) {
            WaitAnsweringSentMessages(nullptr, kPauseBeforeCleanUp);
            continue; // and look again
        } else {
            // Its own hold would fail the claim. Held again while it waits:
            // a folder that is gone, or another one in its place, is not
            // the launcher's to remove.
            chain.ReleaseWorkFolder();
            if (claim.Claim(chain.WorkFolder()))
                break;
            if (!chain.HoldWorkFolderAgain())
                return;
        }
        if (waited >= limit)
            return;
        WaitAnsweringSentMessages(nullptr, kProgramsPoll);
    }
    if (claim.Top().Object() == chain.WorkFolderObject())
        claim.Delete(); // what cannot go stays whole
}

} // namespace

bool launch(UserInterface& ui, WorkFolderChain& chain)
{
    RCAnsiStr name;
    StubSettings::InstallerName(name);
    // Whatever follows the launcher's own name on its command line.
    RCAnsiStr commandLine;
    SystemPath::CommandLine(commandLine);
    return LaunchInstaller(ui, name.Text(), chain, SkipProgramName(commandLine.Text()));
}

bool LaunchInstaller(UserInterface& ui, const char* workFolder, const char* installerName, const char* arguments,
                     uint32_t helperLimit)
{
    WorkFolderChain chain;
    chain.HoldWorkFolder(workFolder);
    return LaunchInstaller(ui, installerName, chain, arguments, helperLimit);
}

bool LaunchInstaller(UserInterface& ui, const char* installerName, WorkFolderChain& chain, const char* arguments,
                     uint32_t helperLimit)
{
    const char* workFolder = chain.WorkFolder();
    RCPath installer(workFolder);
    installer.AppendComponent(installerName);

    // What runs before the installer is none of its helpers.
    RunningPrograms programs;
    uint32_t status = ExitStatus::kCannotRun;
    {
        OwnedHandle process;
        OwnedHandle thread;
        if (StartInstaller(ui, installer, workFolder, arguments, process, thread)) {
            // Seen at once, so that whatever it starts is known as its own.
            programs.Look();
            // Out of sight while the installer runs, without a time limit.
            ui.HideWindows();
            status = WaitForExitCode(process, programs);
        } else {
            ui.ShowMessage(nullptr, Messages::kCannotRun, Messages::kErrorCaption, Messages::kErrorStyle);
        }
    }
    // Only the installer's own code asks for the restart (none of the
    // launcher's own statuses is 3386), and at once: what still runs from
    // the work folder is left to the restart and the next launcher's sweep.
    const bool restarting = status == kRestartCode;
    if (restarting)
        restart(ui, ui.ProgressWindow());
    // Started or not.
    RemoveWorkFolderWhenUnused(chain, programs, restarting ? 0 : helperLimit);
    ui.SetExitStatus(status);
    return true;
}
