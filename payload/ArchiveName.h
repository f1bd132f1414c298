// ArchiveName: the one rule for names in a payload archive.
//
// A name is a single path component in Shift-JIS (code page 932). The
// launcher joins it to the work folder, so a name that could climb out of
// that folder, name a device or a stream, or that Windows would alter or
// refuse must never reach the file system. The builder refuses such names
// before it writes them; the launcher refuses them again when it reads.
#pragma once

// True when `name` is one component that Windows can create as it stands
// and that stays inside the folder it is added to. A null name is false.
bool IsSafeArchiveName(const char* name);
