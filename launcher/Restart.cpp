#include "launcher/Restart.h"

#include <cstdint>

#include "launcher/OwnedHandle.h"
#include "launcher/UserInterface.h"
#include "support/RCAnsiStr.h"
#include "support/WindowsVersion.h"

namespace {

// "Windowsの再起動に失敗しました。再起動の権限をもたないユーザーでログオン
// しています。手動で再起動してください。" (restarting failed; the user lacks
// the right to restart; restart by hand)
constexpr char kRestartFailed[] =
    "Windows\x82\xCC\x8D\xC4\x8B\x4E\x93\xAE\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42"
    "\x8D\xC4\x8B\x4E\x93\xAE\x82\xCC\x8C\xA0\x8C\xC0\x82\xF0\x82\xE0\x82\xBD\x82\xC8\x82\xA2\x83\x86\x81\x5B"
    "\x83\x55\x81\x5B\x82\xC5\x83\x8D\x83\x4F\x83\x49\x83\x93\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81\x42"
    "\x8E\xE8\x93\xAE\x82\xC5\x8D\xC4\x8B\x4E\x93\xAE\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42";
// "セットアップ" (setup)
constexpr char kSetupCaption[] = "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76";

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
static_assert(kTokenAccess == 0x28, "adjust privileges and query");
constexpr UINT kRestartFlags = EWX_REBOOT | EWX_FORCE;
static_assert(kRestartFlags == 6, "reboot, closing programs by force");
constexpr UINT kErrorBox = MB_OK | MB_ICONERROR;
static_assert(kErrorBox == 16, "one OK button, the error icon");

} // namespace

bool set_shutdown_privilege(bool enable)
{
    // Outside the NT family (and when the query fails, which leaves the
    // flag false) there is no privilege to switch.
    bool isNT = false;
    RCAnsiStr description;
    QueryWindowsVersion(nullptr, nullptr, nullptr, &description, &isNT);
    if (!isNT)
        return true;

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
    ui.ShowMessage(owner, kRestartFailed, kSetupCaption, kErrorBox);
}
