// RCTreeClaim: a folder tree claimed whole for its removal, so that nothing
// in use is deleted and no folder is half-deleted.
//
// Every entry of the tree is opened by a handle of its own that shares
// nothing (RCEntryHandle::kClaim): the claim fails while anything in the
// tree is open anywhere (a file being read, a program's current folder, a
// launcher's hold on its work folder; on a network share, on any machine
// that uses it), and while it is held nobody can open what it holds. The
// removal then goes through those very handles: between the decision and
// the deletion no entry can be taken into use. Links are claimed and
// deleted as links, never followed.
#pragma once
#include <cstdint>

#include "support/RCEntryHandle.h"
#include "support/RCList.h"

class RCTreeClaim {
public:
    RCTreeClaim();
    ~RCTreeClaim();
    RCTreeClaim(const RCTreeClaim&) = delete;
    RCTreeClaim& operator=(const RCTreeClaim&) = delete;

    // Claims path: a folder with everything in it (each folder listed just
    // before it is claimed), or a file or a link as itself. False, holding
    // nothing, as soon as one entry cannot be claimed or a folder cannot be
    // listed (a path that does not exist included).
    bool Claim(const char* path);
    // The claimed top entry (after a successful Claim): which object it
    // is, and its kind.
    const RCEntryHandle& Top() const { return *entries_.Item(0); }
    // Deletes what is claimed, through the claims: first every file and
    // link is marked for deletion (a refusal takes back every mark, so that
    // nothing is deleted), then they go with their handles, and each folder
    // once its content is gone. Before Windows Vista, without marks, each
    // goes by name in turn. True when the top entry is gone. Whatever the
    // result, nothing is held afterwards.
    bool Delete();

private:
    // Claims one more entry; false when it cannot be.
    bool Add(const char* path);
    bool ClaimFolder(const char* path);

    // In the order claimed: each folder before its content.
    RCList<RCEntryHandle> entries_;
};
