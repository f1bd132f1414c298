#include "launcher/Restart.h"

#include <cstdint>

#include "launcher/Messages.h"
#include "launcher/UserInterface.h"
#include "support/WinHandle.h"

namespace {

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
static_assert(kTokenAccess == 0x28, "adjust privileges and query");
// Programs are asked to close and can save their work; only those that do
// not answer (hung) are ended. EWX_FORCE would end every program without
// asking, losing unsaved documents: that is for emergencies, and an
// installer asking for a restart is none.
constexpr UINT kRestartFlags = EWX_REBOOT | EWX_FORCEIFHUNG;
static_assert(kRestartFlags == 0x12, "reboot, ending only hung programs");

} // namespace

bool set_shutdown_privilege(bool enable)
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &opened))
        return false;
    OwnedHandle token(opened);

    // The empty system name is the local system.
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA("", "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return false;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;

    // The adjustment succeeds even for a privilege that the user does not
    // hold; only the last-error value (ERROR_NOT_ALL_ASSIGNED) tells. It is
    // cleared first so that no earlier error can be mistaken for that.
    SetLastError(ERROR_SUCCESS);
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    return GetLastError() == ERROR_SUCCESS;
}

void restart(UserInterface& ui, HWND owner)
{
    if (set_shutdown_privilege(true)) {
        if (ExitWindowsEx(kRestartFlags, 0)) {
            // Windows is going down; whether the privilege goes off again
            // changes nothing for the user.
            set_shutdown_privilege(false);
            return;
        }
    }
    ui.ShowMessage(owner, Messages::kRestartFailed, Messages::kSetupCaption, Messages::kErrorStyle);
}
