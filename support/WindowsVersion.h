// The Windows version: major, minor and build number, a one-line
// description ("6.1 Bild7601 Service Pack 1") and whether the system is of
// the NT family. Windows only.
#pragma once
#include <cstdint>

#include "support/RCAnsiStr.h"

struct _OSVERSIONINFOA;

// Asks Windows for its version. Every output is optional: an absent one is
// neither computed nor written. False when Windows refuses the question;
// then nothing is written and the caller's preset values stand.
bool QueryWindowsVersion(int32_t* major, int32_t* minor, int32_t* build, RCAnsiStr* description,
                         bool* isNT);

// Writes the outputs asked for from a record that Windows has filled in;
// the second half of QueryWindowsVersion.
void ReadWindowsVersion(const _OSVERSIONINFOA& record, int32_t* major, int32_t* minor, int32_t* build,
                        RCAnsiStr* description, bool* isNT);
