// ___RSFILEINFO: one entry of a folder listing (ListDirectory), a plain
// record. Listings are held in an RCList<___RSFILEINFO> that owns them.
#pragma once
#include <cstdint>

#include "support/RCAnsiStr.h"
#include "support/RCDateTime.h"

// Bits of ___RSFILEINFO::access.
enum : uint32_t {
    kAccessWritable = 1,     // not read-only
    kAccessReadable = 2,     // always set
    kAccessExecutable = 4,   // details asked for and the extension is in PATHEXT
    kAccessVisible = 8,      // not hidden
    kAccessDirectory = 16,   // a folder
};

struct ___RSFILEINFO {
    // Out of line: made and destroyed in one place for every listing.
    ___RSFILEINFO();
    ~___RSFILEINFO();
    ___RSFILEINFO(const ___RSFILEINFO&) = delete;
    ___RSFILEINFO& operator=(const ___RSFILEINFO&) = delete;

    RCAnsiStr name;            // as the search returned it
    RCAnsiStr fullPath;        // listed folder, one backslash, name
    uint32_t sizeLow = 0;
    uint32_t sizeHigh = 0;
    uint32_t access = 0;       // kAccess* bits
    RCDateTime created;        // UTC
    RCDateTime lastAccessed;   // UTC
    RCDateTime lastWritten;    // UTC
    RCAnsiStr productVersion;  // "%d.%d.%d.%d", only with details
    RCAnsiStr fileVersion;     // the same for the file version
    // The FILE_ATTRIBUTE_* bits as the search returned them. The access
    // flags lose the reparse-point bit, and RemoveTree must never walk
    // through a junction or a symbolic link.
    uint32_t attributes = 0;
};
