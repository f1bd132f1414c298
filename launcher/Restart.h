// Restarting Windows when the installer asks for it (its exit code 3386).
#pragma once
#include <windows.h>

class UserInterface;

// Switches the shutdown privilege ("SeShutdownPrivilege") of the program's
// own access token on or off (every Windows the program runs on belongs to
// the NT family). False when the token cannot be opened, the privilege is
// unknown, or the user does not hold it.
bool set_shutdown_privilege(bool enable);

// Restarts Windows at once, with the privilege switched on just for the
// request. Running programs are asked to close (and can save their work);
// only hung ones are ended. When the restart cannot be
// made, tells the user to restart by hand in a message box owned by owner.
void restart(UserInterface& ui, HWND owner);
