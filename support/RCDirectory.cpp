#include "support/RCDirectory.h"

#include <windows.h>

#include "support/FileSystem.h"
#include "support/RCEntryHandle.h"
#include "support/RCList.h"

RCDirectory::~RCDirectory() = default;

RCDirectory::EntryAction RCDirectory::ActionFor(const ___RSFILEINFO& entry)
{
    if ((entry.access & kAccessDirectory) == 0)
        return kDeleteFile;
    // Walking a link would remove what it points to, wherever that lies.
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kRemoveLink;
    return kDescend;
}

bool RCDirectory::RemoveTree(const char* folder, bool keepTop, bool skipFiles)
{
    if (folder == nullptr)
        folder = "";
    RCList<___RSFILEINFO> entries;
    // The folder is held while it is walked: checked through its own handle
    // to be a real folder, not a link, and kept from being renamed or
    // replaced by a link until its content is gone, so that every path below
    // it leads into it. An empty text would list the root of the current
    // drive, and a folder that is a link would be walked into its target:
    // neither is listed.
    RCEntryHandle held;
    if (*folder != '\0' && held.Open(folder, RCEntryHandle::kHold) && held.GetKind() == RCEntryHandle::kFolder)
        ListDirectory(folder, entries, false);

    if (entries.Count() > 0) {
        if (depth_ == 0)
            OnBegin(folder);
        ++depth_;
        for (int32_t i = 0; i < entries.Count(); ++i) {
            const ___RSFILEINFO* entry = entries.Item(i);
            const char* path = entry->fullPath.Text();
            EntryAction action = ActionFor(*entry);
            if (action == kDescend) {
                // Whatever stays behind shows in this folder's own removal.
                if (OnDirectory(path))
                    RemoveTree(path, false, skipFiles);
            } else if (action == kRemoveLink) {
                if (OnDirectory(path))
                    RemoveDirectoryRetry(path, true);
            } else if (!skipFiles && OnFile(path)) {
                bool deleted = DeleteFileRetry(path, true);
                if (!OnFileDone(path, deleted))
                    break;   // ends this folder's walk only
            }
        }
        --depth_;
    }
    // Released before the folder's own removal, which holds it again.
    held.Close();

    if (depth_ == 0) {
        OnEnd(folder);
        if (keepTop)
            return true;
    }
    return RemoveDirectoryRetry(folder, true);
}

bool RCDirectory::OnBegin(const char*)
{
    return true;
}

bool RCDirectory::OnFile(const char*)
{
    return true;
}

bool RCDirectory::OnFileDone(const char*, bool)
{
    return true;
}

bool RCDirectory::OnDirectory(const char*)
{
    return true;
}

bool RCDirectory::OnEnd(const char*)
{
    return true;
}
