#include "launcher/WorkFolder.h"

#include <windows.h>

#include <cstdint>

#include "launcher/RunningPrograms.h"
#include "launcher/WorkFolderChain.h"
#include "payload/WorkFolderRecipe.h"
#include "support/FileSystem.h"
#include "support/RCAnsiStr.h"
#include "support/RCDirectory.h"
#include "support/RCEntryHandle.h"
#include "support/RCPath.h"
#include "support/RCTreeClaim.h"
#include "support/RSFileInfo.h"
#include "support/SystemPath.h"
#include "support/WinHandle.h"

namespace {

constexpr int32_t kIdDigits = 8;

// The process id that a work folder's name stands for; false for any name
// that the recipe does not make: eight upper-case hexadecimal digits,
// perhaps followed by "." and a digit from 1 to kOtherNames.
bool ProcessIdOf(const char* name, uint32_t& id)
{
    id = 0;
    for (int32_t i = 0; i < kIdDigits; ++i) {
        const char c = name[i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return false; // the terminator too: a shorter name
        id = id * 16 + digit;
    }
    const char* rest = name + kIdDigits;
    if (*rest == '\0')
        return true;
    static_assert(WorkFolderRecipe::kOtherNames <= 9, "one digit after the point");
    return rest[0] == WorkFolderRecipe::kOtherNameMark && rest[1] >= '1' &&
           rest[1] <= static_cast<char>('0' + WorkFolderRecipe::kOtherNames) && rest[2] == '\0';
}

// Whether a process of that id runs now. Only a process that is certainly
// gone counts as gone: Windows answers an id that no process has with
// ERROR_INVALID_PARAMETER; a process that runs under another account may
// refuse to be opened (access denied), and it runs all the same. One that
// has ended but is still held open somewhere reports its exit code, and its
// folder is stale; one that ended with the code STILL_ACTIVE (259) is taken
// for a running one, which only leaves a folder in place.
bool ProcessRuns(uint32_t id)
{
    OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
    if (!process.Valid())
        return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    return !GetExitCodeProcess(process.Get(), &code) || code == STILL_ACTIVE;
}

} // namespace

void SetToWorkFolder(RCPath& path, const char* base)
{
    if (base == nullptr)
        SetToAppDataFolder(path);
    else
        path.SetPath(base);
    for (const char* parent : WorkFolderRecipe::kParents)
        path.AppendComponent(parent);

    // Eight upper-case hexadecimal digits, zero-filled: the folder names of
    // two processes that run at once on one machine never collide.
    RCAnsiStr id;
    id.Format(WorkFolderRecipe::kIdFormat, static_cast<uint32_t>(GetCurrentProcessId()));
    path.AppendComponent(id.Text());
}

bool RemoveIfAbandoned(const char* path)
{
    RCTreeClaim claim;
    if (!claim.Claim(path))
        return false;
    RunningPrograms programs;
    return programs.Using(claim.Top().Object()) == 0 && claim.Delete();
}

bool MakeWorkFolder(const char* workFolder, WorkFolderChain& chain)
{
    RCAnsiStr name;
    for (char other = '0'; other <= '0' + WorkFolderRecipe::kOtherNames; ++other) {
        name.Assign(workFolder);
        // The point and one digit.
        const char suffix[] = {WorkFolderRecipe::kOtherNameMark, other, '\0'};
        if (other > '0')
            name.Append(suffix);
        const SystemPath path(name.Text());
        // What has the name already goes only when it is abandoned. The
        // folder is made new, never taken over: one that someone else made
        // meanwhile (another machine's launcher with the same id) is theirs.
        if (path.Attributes() != INVALID_FILE_ATTRIBUTES && !RemoveIfAbandoned(name.Text()))
            continue;
        if (path.MakeFolder() && chain.HoldWorkFolder(name.Text()))
            return true;
    }
    return false;
}

void RemoveStaleWorkFolders(const char* workFolder)
{
    RCPath parent(workFolder);
    parent.RemoveLast();
    // The parent is held while its entries are removed: a real folder, and
    // not swapped for a link meanwhile, so that no folder elsewhere that
    // happens to have such a name is ever removed.
    RCEntryHandle held;
    RCList<___RSFILEINFO> entries;
    if (!held.Open(parent.Text(), RCEntryHandle::kHold) || held.GetKind() != RCEntryHandle::kFolder ||
        !ListDirectory(parent.Text(), entries, false))
        return;
    const uint32_t own = static_cast<uint32_t>(GetCurrentProcessId());
    for (int32_t i = 0; i < entries.Count(); ++i) {
        const ___RSFILEINFO* entry = entries.Item(i);
        uint32_t id = 0;
        // Folders only: a link is not a work folder, and is not followed.
        if (RCDirectory::ActionFor(*entry) == RCDirectory::kDescend && ProcessIdOf(entry->name.Text(), id) &&
            id != own && !ProcessRuns(id))
            RemoveIfAbandoned(entry->fullPath.Text()); // what stays, stays
    }
}
