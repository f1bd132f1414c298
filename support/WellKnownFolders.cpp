#include "support/WellKnownFolders.h"

#ifdef _WIN32
#include "support/SystemPath.h"
#endif

bool SetToSpecialFolder(RCPath& path, int32_t folder)
{
    RCAnsiStr text;
#ifdef _WIN32
    // In the form of the program's paths: a user name in any script too.
    SystemPath::SpecialFolder(folder, text);
#else
    char buffer[kMaxPath] = {};
    GetSpecialFolder(folder, buffer);
    text.Assign(buffer);
#endif
    // A false result leaves the text empty too: either way the Windows
    // directory stands in.
    if (text.Length() == 0)
        return SetToWindowsDirectory(path);
    return path.SetPath(text.Text());
}

bool SetToAppDataFolder(RCPath& path)
{
    return SetToSpecialFolder(path, kAppDataFolder);
}
