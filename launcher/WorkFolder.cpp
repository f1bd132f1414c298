#include "launcher/WorkFolder.h"

#include <windows.h>

#include <cstdint>

#include "launcher/RunningPrograms.h"
#include "payload/WorkFolderRecipe.h"
#include "support/FileSystem.h"
#include "support/RCAnsiStr.h"
#include "support/RCDirectory.h"
#include "support/RCEntryHandle.h"
#include "support/RCPath.h"
#include "support/RSFileInfo.h"
#include "support/WinHandle.h"

namespace {

constexpr int32_t kIdDigits = 8;

// The process id that a work folder's name stands for; false for any other
// name than eight upper-case hexadecimal digits.
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
    return name[kIdDigits] == '\0';
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

// Whether anything in folder, folder itself included, is open anywhere: a
// launcher holding its work folder (on this machine, or on another one that
// shares the folder through a network share), the current folder of a
// running program, an open file. Each entry is claimed (RCEntryHandle::
// kClaim) and let go at once; a folder is listed before it is claimed.
bool AnythingOpenIn(const char* folder)
{
    RCList<___RSFILEINFO> entries;
    RCEntryHandle claim;
    if (!ListDirectory(folder, entries, false) || !claim.Open(folder, RCEntryHandle::kClaim) ||
        claim.GetKind() != RCEntryHandle::kFolder)
        return true;
    for (int32_t i = 0; i < entries.Count(); ++i) {
        const char* path = entries.Item(i)->fullPath.Text();
        if (RCDirectory::ActionFor(*entries.Item(i)) == RCDirectory::kDescend ? AnythingOpenIn(path)
                                                                              : !claim.Open(path, RCEntryHandle::kClaim))
            return true;
    }
    return false;
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
    // two processes never collide, and a stale one of a process that had
    // the same id is cleared by extraction before use.
    RCAnsiStr id;
    id.Format(WorkFolderRecipe::kIdFormat, static_cast<uint32_t>(GetCurrentProcessId()));
    path.AppendComponent(id.Text());
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
        if (RCDirectory::ActionFor(*entry) != RCDirectory::kDescend || !ProcessIdOf(entry->name.Text(), id) ||
            id == own || ProcessRuns(id) || AnythingOpenIn(entry->fullPath.Text()) ||
            ProgramsRunningFrom(entry->fullPath.Text()) != 0)
            continue;
        RCDirectory remover;
        remover.RemoveTree(entry->fullPath.Text(), false, false); // what stays, stays
    }
}
