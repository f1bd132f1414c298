// The work folder: the per-process folder that the payload is unpacked into
// and the installer is started from,
//   <application-data folder>\Orvane\Lumavex\Quillimark\<process id as %08X>
// or, when a folder of that name is in use, the same name with ".1" to
// ".9" after it (payload/WorkFolderRecipe.h).
#pragma once

class RCPath;
class WorkFolderChain;

// Sets path to the work folder of the calling process, under its own name.
// base names the folder that stands in for the user's application-data
// folder; null (the program's own use) means the real one, or the Windows
// directory when there is none.
void SetToWorkFolder(RCPath& path, const char* base = nullptr);

// Makes the work folder and holds it in chain, whose levels above it are
// held already: under workFolder (the name SetToWorkFolder gives), or,
// when something of that name is in use, under the first other name that
// is free. Whatever has one of these names and is abandoned (see
// RemoveIfAbandoned) is removed first, as a stale work folder of an earlier
// process with the same id; whatever is in use is left whole. False when
// no name can be had.
bool MakeWorkFolder(const char* workFolder, WorkFolderChain& chain);

// Removes path (a folder with its content, a file, a link as itself) when
// it is provably abandoned: nothing in it is open anywhere (every launcher
// holds its own work folder open while it runs, and on a network share the
// server makes that hold count for every machine; a running program's
// current folder; an open file), and no program runs from it. The decision
// and the removal are made on one claim of the whole tree
// (support/RCTreeClaim), so nothing can be taken into use between them,
// and nothing is removed unless all of it can be. True when it is gone.
bool RemoveIfAbandoned(const char* path);

// Removes the work folders that earlier launchers left behind in the
// folder that holds workFolder (after a failed extraction, a crash, a
// killed process): its sibling folders with a name that this recipe makes
// (eight upper-case hexadecimal digits, perhaps with ".1" to ".9"), whose
// process does not run here, and that are abandoned. A folder named after
// a process id in use by any running process, this one's included, stays,
// and so does every other name. Whatever fails is left as it is, silently.
// The caller holds the folders above (WorkFolderChain).
void RemoveStaleWorkFolders(const char* workFolder);
