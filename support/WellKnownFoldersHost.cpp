// Well-known folders for the host build, which has no Windows to ask: fixed
// values, so that relative paths resolve the same way in every test run.
#include "support/WellKnownFolders.h"

bool GetSpecialFolder(int32_t, char*)
{
    return false; // no shell, so no allocator; the buffer stays untouched
}

bool SetToModuleFile(RCPath& path)
{
    return path.SetPath("C:\\p\\q\\run.exe");
}

bool SetToWindowsDirectory(RCPath& path)
{
    return path.SetPath("C:\\Windows");
}
