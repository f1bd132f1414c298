// RCDirectory: removal of a folder tree, depth first, through overridable
// hooks. One object serves one removal at a time; its depth counter is 0
// before and after every outermost RemoveTree.
//
// A folder entry that is a reparse point (a junction or a symbolic link) is
// removed as a link and never walked, so a link inside the tree cannot lead
// the removal to files outside it. A top folder that is itself such a link
// is not walked either. Each folder is checked through a handle of its own
// and held by it while its content is removed, so that it cannot be swapped
// for a link between the check and the deletions; files and folders are
// deleted through their own handles too (see DeleteFileRetry).
#pragma once
#include <cstdint>

#include "support/RCRoot.h"
#include "support/RSFileInfo.h"

class RCDirectory : public RCRoot {
public:
    // What the walk does with one listed entry.
    enum EntryAction : int32_t {
        kDescend = 0,      // a real folder: walk it, then remove it
        kRemoveLink = 1,   // a folder link: remove the link itself (RemoveDirectoryA)
        kDeleteFile = 2,   // a file, a file link included (DeleteFileA)
    };
    static EntryAction ActionFor(const ___RSFILEINFO& entry);

    RCDirectory() = default;
    ~RCDirectory() override;
    RCDirectory(const RCDirectory&) = delete;
    RCDirectory& operator=(const RCDirectory&) = delete;

    // Removes everything below folder, then folder itself unless keepTop.
    // skipFiles leaves files alone (their folders then stay too). True when
    // the folder is gone, or kept on request; a file or folder that cannot
    // be removed does not stop the walk.
    bool RemoveTree(const char* folder, bool keepTop, bool skipFiles);

    int32_t Depth() const { return depth_; }

    // Hooks; every one answers true here.
    // Called once per removal, when the top folder lists anything.
    virtual bool OnBegin(const char* folder);
    // Delete this file?
    virtual bool OnFile(const char* path);
    // After a file's deletion was tried; false ends the walk of its folder.
    virtual bool OnFileDone(const char* path, bool deleted);
    // Deal with this folder (walk and remove it, or remove the link)?
    virtual bool OnDirectory(const char* path);
    // Called once per removal, in every case.
    virtual bool OnEnd(const char* folder);

private:
    int32_t depth_ = 0;
};
