#include "launcher/WorkFolderChain.h"

#include "support/FileSystem.h"
#include "support/RCPath.h"

bool WorkFolderChain::Hold(int32_t level, const char* path)
{
    return levels_[level].Open(path, RCEntryHandle::kHold) && levels_[level].GetKind() == RCEntryHandle::kFolder;
}

bool WorkFolderChain::HoldAncestors(const char* workFolder)
{
    const RCPath work(workFolder);
    const int32_t base = work.Count() - kLevels;
    if (base < 1)
        return false;
    RCPath level(workFolder);
    for (int32_t i = 0; i < kLevels; ++i)
        level.RemoveLast();
    // The application-data folder itself is the user's: made only where it
    // is missing in a folder that is there (nothing above it is made).
    if (!CreateLeafDirectory(level.Text()))
        return false;
    for (int32_t i = 0; i < kLevels - 1; ++i) {
        level.AppendComponent(work.Component(base + i));
        // Made by name inside the held level above, then checked and held:
        // what is found under the name (a planted link) is refused.
        if (!CreateLeafDirectory(level.Text()) || !Hold(i, level.Text()))
            return false;
    }
    return true;
}

bool WorkFolderChain::HoldWorkFolder(const char* workFolder)
{
    if (!Hold(kLevels - 1, workFolder))
        return false;
    workFolder_.Assign(workFolder);
    return true;
}

bool WorkFolderChain::HoldWorkFolderAgain()
{
    return Hold(kLevels - 1, workFolder_.Text()) && levels_[kLevels - 1].Object() == workObject_;
}

RCEntryHandle::Identity WorkFolderChain::WorkFolderObject() const
{
    const RCEntryHandle& held = levels_[kLevels - 1];
    return held.GetKind() == RCEntryHandle::kNone ? workObject_ : held.Object();
}

void WorkFolderChain::ReleaseWorkFolder()
{
    workObject_ = levels_[kLevels - 1].Object();
    levels_[kLevels - 1].Close();
}
