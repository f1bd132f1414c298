// RunningPrograms: the programs that use a folder by running: the
// launcher's descendants (the installer it starts, whatever that starts,
// and so on) and the processes whose program file (their image) lies in
// the folder. An installer may start a helper and end at once (a
// self-relaunch, an extracted setup engine); the work folder must stay
// until such helpers have ended too, and a stale work folder that a
// program still runs from is not stale.
//
// Descendants are found in the system's process list by their parents'
// ids, without opening any of them: the installer and its helpers may run
// under another account (an administrator's name typed at the elevation
// prompt), as a service or in another session, and then cannot be opened,
// but they are listed all the same. Process ids are reused: the processes
// that ran at the first look are none of the launcher's; a process that
// takes the id of an ended one is told from it by its parent's id, and an
// id taken over so no longer stands for the ended process's children. Run
// a few times a second while the launcher waits, the looks find a helper
// also when its parent starts it and ends between two of them.
//
// Programs that run from the folder are found by identity, not by their
// paths' spelling: a program runs from the folder when one of the folders
// on its program path is that file-system object, however the path reaches
// it (a mapped drive, a SUBST drive, a short name, a share's path in any of
// its forms, the 32-bit view of the system folder). From Windows Vista on
// the program path is read with query-limited access, which an elevated
// process grants too; one that cannot be read at all (of another account,
// or ended meanwhile) is found only as a descendant.
#pragma once
#include <cstdint>

#include <memory>

#include "support/RCEntryHandle.h"

class RunningPrograms {
public:
    // The first look: none of the processes that run now descends from
    // this one.
    RunningPrograms();
    ~RunningPrograms();
    RunningPrograms(const RunningPrograms&) = delete;
    RunningPrograms& operator=(const RunningPrograms&) = delete;

    // Looks at the processes again, for the descendants started since.
    // False when the processes cannot be listed.
    bool Look();
    // Looks again and counts the processes other than this one that descend
    // from it, or that run from the folder that is this object; -1 when the
    // processes cannot be listed.
    int32_t Using(const RCEntryHandle::Identity& folder);

private:
    struct Process {
        uint32_t id;
        uint32_t parent;
        bool descendant;
        bool decided; // whether it descends is known
        bool running; // in the last look
    };

    Process* Find(uint32_t id) const;
    bool Take(bool first);

    // Every process seen, under its latest id, in the order first seen.
    std::unique_ptr<Process[]> processes_;
    int32_t count_ = 0;
    int32_t room_ = 0;
};
