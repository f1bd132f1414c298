#include "launcher/WorkFolder.h"

#include <windows.h>

#include <cstdint>

#include "support/RCAnsiStr.h"
#include "support/RCPath.h"

void SetToWorkFolder(RCPath& path, const char* base)
{
    if (base == nullptr)
        SetToAppDataFolder(path);
    else
        path.SetPath(base);
    path.AppendComponent("Orvane");
    path.AppendComponent("Lumavex");
    path.AppendComponent("Quillimark");

    // Eight upper-case hexadecimal digits, zero-filled: the folder names of
    // two processes never collide, and a stale one of a process that had
    // the same id is cleared by extraction before use.
    RCAnsiStr id;
    id.Format("%08X", static_cast<uint32_t>(GetCurrentProcessId()));
    path.AppendComponent(id.Text());
}
