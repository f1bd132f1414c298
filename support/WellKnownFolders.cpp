#include "support/WellKnownFolders.h"

bool SetToSpecialFolder(RCPath& path, int32_t folder)
{
    char buffer[kMaxPath] = {};
    // A false result leaves the buffer empty too: either way the Windows
    // directory stands in.
    GetSpecialFolder(folder, buffer);
    if (buffer[0] == '\0')
        return SetToWindowsDirectory(path);
    return path.SetPath(buffer);
}

bool SetToAppDataFolder(RCPath& path)
{
    return SetToSpecialFolder(path, kAppDataFolder);
}
