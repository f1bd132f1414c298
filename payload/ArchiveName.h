// ArchiveName: the one rule for names in a payload archive.
//
// A name is a single path component in Shift-JIS (code page 932), or in
// UTF-8 in an archive that says so. The launcher joins it to the work
// folder, so a name that could climb out of that folder, name a device or a
// stream, or that Windows would alter or refuse must never reach the file
// system. The builder refuses such names before it writes them; the
// launcher refuses them again when it reads.
#pragma once

class RCAnsiStr;

// True when `name` (Shift-JIS) is one component that Windows can create as
// it stands and that stays inside the folder it is added to. A null name
// is false.
bool IsSafeArchiveName(const char* name);

// The same rule for a name in UTF-8, which it gives in the program's byte
// form (support/EscapedUnit.h) in into: true when the name is well-formed
// UTF-8 and its characters pass every test above (and it is no COM or LPT
// with a superscript digit, "COM¹", which Windows takes as a device too).
// False, into of no use, otherwise; a null name is false.
bool DecodeUtf8ArchiveName(const char* name, RCAnsiStr& into);
