// Well-known folders beyond the three that RCPath.h names: the shell folder
// number of the application-data folder, and the choice between a shell
// folder and the Windows directory that SetToAppDataFolder makes.
//
// The host build has no shell: there GetSpecialFolder reports false, the
// program's own file is C:\p\q\run.exe and the Windows directory is
// C:\Windows, fixed values that tests rely on.
#pragma once
#include <cstdint>

#include "support/RCPath.h"

// The current user's application-data folder (the shell's CSIDL_APPDATA).
constexpr int32_t kAppDataFolder = 26;

// Sets path to the shell folder of that number, or to the Windows directory
// when the shell gives no path for it, whatever the reason (no allocator,
// no such folder, a folder that is not in the file system). Always true.
bool SetToSpecialFolder(RCPath& path, int32_t folder);
