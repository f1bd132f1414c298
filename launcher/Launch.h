// Starting the installer from the work folder after a successful
// extraction, waiting for it, removing the work folder and restarting
// Windows when the installer asks for it.
#pragma once
#include <cstdint>

class UserInterface;
class WorkFolderChain;

// How long the launcher waits, at most, after the installer's end for the
// programs it left running (and for anything else that still uses the work
// folder) before it ends without removing the work folder: more than any
// real helper of an installer needs (a self-relaunch, an extracted setup
// engine), so that only one that stays (a tray agent, an engine waiting for
// the restart) is given up on. Milliseconds.
constexpr uint32_t kHelperWaitLimit = 10 * 60 * 1000;

// Starts the installer named by the stub settings from this process's work
// folder (the one that chain holds, as extract left it) with the switch
// "/quillimarkmode" and, after it, whatever followed the launcher's own name
// on its command line (through the shell with elevation from Windows Vista
// on), in the work folder as its current folder, hides the windows while
// it runs and waits for its end. On exit code 3386 it asks for the restart
// of Windows at once. Otherwise it waits, up to kHelperWaitLimit, until
// nothing uses the work folder any more (no program that the launcher
// started, directly or not, runs; none runs from the work folder; nothing
// in it is open anywhere), pauses two seconds and removes it; what is in
// use is never removed, and a work folder still in use at the limit (or at
// a restart) stays whole for a later launcher's sweep. A start that fails
// is reported to the user, and so is a command line longer than Windows
// takes (it is never cut); the clean-up follows all the same. The
// program's exit status becomes the installer's exit code, or the
// launcher's own code for a start or a wait that failed, a start without a
// process to wait for included (launcher/ExitStatus.h). Always true.
bool launch(UserInterface& ui, WorkFolderChain& chain);

// The same with its inputs named: the installer's file name in the work
// folder that chain holds, the arguments for it (a text of the program's
// own, passed on unchanged after the switch) and the limit of the wait for
// helpers.
bool LaunchInstaller(UserInterface& ui, const char* installerName, WorkFolderChain& chain, const char* arguments = "",
                     uint32_t helperLimit = kHelperWaitLimit);
// The same for a work folder that nothing holds yet.
bool LaunchInstaller(UserInterface& ui, const char* workFolder, const char* installerName, const char* arguments = "",
                     uint32_t helperLimit = kHelperWaitLimit);
