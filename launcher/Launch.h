// Starting the installer from the work folder after a successful
// extraction, waiting for it, removing the work folder and restarting
// Windows when the installer asks for it.
#pragma once

class UserInterface;
class WorkFolderChain;

// Starts the installer named by the stub settings from this process's work
// folder with the switch "/quillimarkmode" (through the shell with
// elevation from Windows Vista on) in the work folder as its current
// folder, hides the windows while it runs, waits for its end and for the
// programs it left running from the work folder, pauses two seconds, removes the work folder and restarts
// Windows on exit code 3386. A start that fails is reported to the user;
// the clean-up follows all the same. The program's exit status becomes the
// installer's exit code, or the launcher's own code for a start or a wait
// that failed (launcher/ExitStatus.h). chain, as extract left it, lets go
// of the work folder only for its removal. Always true.
bool launch(UserInterface& ui, WorkFolderChain& chain);

// The same with its inputs named: the work folder and the installer's file
// name in it. launch passes this process's work folder and the stub setting.
bool LaunchInstaller(UserInterface& ui, const char* workFolder, const char* installerName, WorkFolderChain& chain);
// The same for a work folder that nothing holds.
bool LaunchInstaller(UserInterface& ui, const char* workFolder, const char* installerName);
