// The kernel32 functions that take a path, each named once without its A or
// W (support/SystemPath adds the letter of its route). A stub that carries
// these names gives its paths to the wide functions wherever the ANSI code
// page would garble them; the builder looks for them in the stub it packs.
#pragma once

// In the order of SystemPath's table; the literal's own zero ends the list.
inline constexpr char kPathFunctionNames[] = "CreateDirectory\0CreateFile\0CreateProcess\0DeleteFile\0FindFirstFile\0"
                                             "FindNextFile\0GetFileAttributes\0GetModuleFileName\0RemoveDirectory\0"
                                             "SetFileAttributes\0";
