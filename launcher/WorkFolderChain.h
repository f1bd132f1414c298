// The folders from the user's application-data folder down to the work
// folder: Orvane, Lumavex, Quillimark and the process's own, each held by a
// handle of its own while the launcher runs.
//
// The application-data folder lies in the user's profile, where any process
// of the user can plant a junction or a symbolic link, also when the
// launcher runs elevated: a link at Orvane, Lumavex or Quillimark would
// send extraction, the clean-up and the sweep of stale work folders into
// its target. So each level is made inside the level above while that is
// held, checked through its own handle to be a real folder (a link is
// refused, never followed) and held from then on: none can be renamed or
// replaced until the launcher ends.
//
// The held work folder is also the launcher's lock: while its handle is
// open, another launcher's sweep (on this machine, or on another one that
// shares the folder through a network share, whose server enforces it)
// cannot claim the folder and leaves it alone.
#pragma once
#include <cstdint>

#include "support/RCAnsiStr.h"
#include "support/RCEntryHandle.h"

class WorkFolderChain {
public:
    // The three levels above the work folder, and the work folder.
    static constexpr int32_t kLevels = 4;

    WorkFolderChain() = default;
    WorkFolderChain(const WorkFolderChain&) = delete;
    WorkFolderChain& operator=(const WorkFolderChain&) = delete;

    // Makes where missing, and holds, the three levels between the
    // application-data folder (made first when it is missing and its own
    // folder is there) and workFolder, from the top. False at the first level that is not a real folder;
    // nothing below it is made.
    bool HoldAncestors(const char* workFolder);
    // Holds the work folder itself, made by the caller inside the held
    // levels; false when it is not a real folder. From then on it is the
    // chain's work folder.
    bool HoldWorkFolder(const char* workFolder);
    // Lets go of the work folder, so that it can be claimed for its
    // removal; the levels above stay held.
    void ReleaseWorkFolder();
    // Holds the work folder again after a release (while the launcher waits
    // to remove it); false when it is no longer the same folder.
    bool HoldWorkFolderAgain();

    // The work folder that was held last (empty before).
    const char* WorkFolder() const { return workFolder_.Text(); }
    // Which file-system object it is: read now while it is held, or as it
    // was read when it was let go.
    RCEntryHandle::Identity WorkFolderObject() const;

private:
    bool Hold(int32_t level, const char* path);

    RCEntryHandle levels_[kLevels];
    RCAnsiStr workFolder_;
    RCEntryHandle::Identity workObject_{};
};
