// The programs that run from inside a folder: processes whose program file
// (their image) lies in it. An installer may start a helper from the work
// folder and end at once (a self-relaunch, an extracted setup engine); the
// work folder must stay until such helpers have ended too, and a stale work
// folder that a program still runs from is not stale.
#pragma once
#include <cstdint>

// How many processes other than this one run from a program file inside
// folder (at any depth); -1 when the processes cannot be listed. From
// Windows Vista on the image path is read with query-limited access, which
// an elevated process grants too; a process whose path cannot be read (it
// ended meanwhile) does not count.
int32_t ProgramsRunningFrom(const char* folder);
