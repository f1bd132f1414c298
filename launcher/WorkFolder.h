// The work folder: the per-process folder that the payload is unpacked into
// and the installer is started from,
//   <application-data folder>\Orvane\Lumavex\Quillimark\<process id as %08X>
// Extraction and launch each build it with this one recipe, so the two agree.
#pragma once

class RCPath;

// Sets path to the work folder of the calling process. base names the folder
// that stands in for the user's application-data folder; null (the program's
// own use) means the real one, or the Windows directory when there is none.
void SetToWorkFolder(RCPath& path, const char* base = nullptr);

// Removes the work folders that earlier launchers left behind in the
// folder that holds workFolder (after a failed extraction, a crash, a
// killed process), and only those that are provably abandoned: its sibling
// folders whose names are exactly eight upper-case hexadecimal digits, as
// this recipe makes them, whose process does not run here, in which
// nothing is open (every launcher holds its own work folder open while it
// runs, and on a network share the server makes that hold count for every
// machine), and from which no program runs. A folder that is still in use
// in any of these ways is left whole. A folder named after a process id in
// use by any running process, this one's included, stays, and so does
// every other name. The removal is the link-safe one of the clean-up;
// whatever fails is left as it is, silently. The caller holds the folders
// above (WorkFolderChain).
void RemoveStaleWorkFolders(const char* workFolder);
