#include "support/RCTreeClaim.h"

#include <windows.h>

#include "support/FileSystem.h"
#include "support/RCDirectory.h"
#include "support/SystemPath.h"

RCTreeClaim::RCTreeClaim() = default;

RCTreeClaim::~RCTreeClaim() = default;

bool RCTreeClaim::Add(const char* path)
{
    RCEntryHandle* entry = new RCEntryHandle;
    entries_.Add(entry); // owned by the list from here
    return entry->Open(path, RCEntryHandle::kClaim);
}

bool RCTreeClaim::ClaimFolder(const char* path)
{
    // Listed first: a claim shares nothing, not even with a search. What
    // was listed as a folder and is a link by now is refused when claimed,
    // before anything that its listing showed is claimed.
    RCList<___RSFILEINFO> listed;
    if (!ListDirectory(path, listed, false) || !Add(path) ||
        entries_.Item(entries_.Count() - 1)->GetKind() != RCEntryHandle::kFolder)
        return false;
    for (int32_t i = 0; i < listed.Count(); ++i) {
        const ___RSFILEINFO& found = *listed.Item(i);
        const char* below = found.fullPath.Text();
        if (RCDirectory::ActionFor(found) == RCDirectory::kDescend ? !ClaimFolder(below) : !Add(below))
            return false;
    }
    return true;
}

bool RCTreeClaim::Claim(const char* path)
{
    entries_.Clear();
    // A real folder is claimed with its content; anything else (a file, a
    // link, whatever its target) as itself.
    const DWORD attributes = SystemPath(path).Attributes();
    const bool tree = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (tree ? ClaimFolder(path) : Add(path))
        return true;
    entries_.Clear();
    return false;
}

bool RCTreeClaim::Delete()
{
    const int32_t count = entries_.Count();
    // Every file and link marked (read-only cleared where the policy
    // allows), up to the first refusal.
    int32_t marked = 0;
    while (marked < count && (entries_.Item(marked)->GetKind() == RCEntryHandle::kFolder ||
                              DeleteEntryRetry(*entries_.Item(marked), true)))
        ++marked;
    bool gone = false;
    if (marked < count) {
        // A refusal: every mark taken back, each entry with the attributes
        // it had (the refused one has them back already).
        for (int32_t i = 0; i < marked; ++i) {
            RCEntryHandle& entry = *entries_.Item(i);
            if (entry.GetKind() != RCEntryHandle::kFolder && entry.KeepAfterAll() &&
                (entry.Attributes() & FILE_ATTRIBUTE_READONLY) != 0)
                entry.SetAttributes(entry.Attributes());
        }
    } else {
        // Backwards: each folder's content before the folder; a file or a
        // link goes as its handle closes. The top comes last.
        for (int32_t i = count; i-- > 0;) {
            RCEntryHandle& entry = *entries_.Item(i);
            gone = entry.GetKind() == RCEntryHandle::kFolder ? DeleteEntryRetry(entry, true) : entry.Close();
        }
    }
    entries_.Clear();
    return gone;
}
