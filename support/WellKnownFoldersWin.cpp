// Well-known folders, asked of Windows and its shell.
#include "support/WellKnownFolders.h"

#include <windows.h>

#include <cstring>

namespace {

// Sets path from a name of count bytes in buffer; a count of 0 (the call
// failed) or of size or more (the name was cut off, or did not fit and
// the buffer holds nothing useful) leaves the path empty rather than
// naming the wrong place.
bool SetFromAnswer(RCPath& path, char* buffer, DWORD count, DWORD size)
{
    if (count == 0 || count >= size)
        buffer[0] = '\0';
    return path.SetPath(buffer);
}

} // namespace

bool SetToModuleFile(RCPath& path)
{
    // One byte beyond the path limit stays zero: a name that does not fit is
    // cut off, and older Windows versions then write no terminator.
    char buffer[kMaxPath + 1];
    std::memset(buffer, 0, sizeof buffer);
    return SetFromAnswer(path, buffer, GetModuleFileNameA(nullptr, buffer, kMaxPath), kMaxPath);
}

bool SetToWindowsDirectory(RCPath& path)
{
    char buffer[kMaxPath];
    std::memset(buffer, 0, sizeof buffer);
    // The answer is the length, or the size needed when the buffer is too small.
    return SetFromAnswer(path, buffer, GetWindowsDirectoryA(buffer, kMaxPath), kMaxPath);
}
