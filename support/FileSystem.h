// File-system operations: thin layers over the Windows file functions, one
// policy each. Paths are ANSI texts with backslash separators, searched and
// stripped by the Shift-JIS rules (a 0x5C that ends a double-byte character
// is never a separator). A null text counts as the empty text. Nothing here
// shows anything to the user; every operation answers with a boolean.
#pragma once
#include <cstdint>

#include "support/FileAttributeRecord.h"
#include "support/RCAnsiStr.h"
#include "support/RCList.h"
#include "support/RSFileInfo.h"

class RCEntryHandle;

// True when path names an existing entry; with directoryRequired, an
// existing folder or drive. The text is parsed as an RCPath first (relative
// to the program's own folder, "." and ".." applied). A drive alone is asked
// for its type only; a bare UNC server name (\\server) is false without
// asking the network.
bool PathExists(const char* path, bool directoryRequired);

// True when a search for path (taken unchanged, wildcards allowed) finds
// anything; with fileRequired, the first match must not be a folder.
bool EntryExists(const char* path, bool fileRequired);

// Creates the folder and every missing parent, one level at a time (a
// relative text below the program's own folder). True when the folder exists
// afterwards; a drive alone (C: or C:\) is true without any test.
bool CreateDirectoryTree(const char* path);
// Creates the last folder of path, whose parent exists already: one call
// where CreateDirectoryTree walks from the drive. True when the folder
// exists afterwards, made now or before.
bool CreateLeafDirectory(const char* path);

// Delete a file / remove an empty folder. Tried once as is; then, with
// clearReadOnly, once more after clearing the read-only attribute, which is
// put back when the second try fails too. Decided and done on the entry
// held by its own handle: a link (junction or symbolic link) found at the
// name is deleted as the link, its target left alone, and the read-only
// attribute of a link or of a file with further names is never touched.
bool DeleteFileRetry(const char* path, bool clearReadOnly);
bool RemoveDirectoryRetry(const char* path, bool clearReadOnly);
// The same policy for an entry already held for its removal (kRemove or
// kClaim). True when it is deleted, or will be once released.
bool DeleteEntryRetry(RCEntryHandle& entry, bool clearReadOnly);

// Whether path lies on a local fixed disk: a path with a drive letter whose
// drive is one. A network path (\\server\share), a mapped network drive, a
// removable disk do not.
bool OnLocalFixedDisk(const char* path);

// Lists the entries of folder ("." and ".." left out) into list, in the
// order the search returns them; the list is cleared first. withDetails adds
// the PATHEXT test and the version texts of each entry. False (and an empty
// list) when the folder cannot be searched. Inline, so that a caller that
// never asks for details does not link the version query.
bool ListEntries(const char* folder, RCList<___RSFILEINFO>& list);
void AddEntryDetails(RCList<___RSFILEINFO>& list);
inline bool ListDirectory(const char* folder, RCList<___RSFILEINFO>& list, bool withDetails)
{
    if (!ListEntries(folder, list))
        return false;
    if (withDetails)
        AddEntryDetails(list);
    return true;
}

// Writes a FileAttributeRecord onto an existing folder or file: read-only is
// cleared first, then the times are set, the record's attributes last.
// Every Windows the program runs on (the NT family) sets a folder's times.
bool ApplyFolderRecord(const char* folder, const FileAttributeRecord& record);
bool ApplyFileRecord(const char* file, const FileAttributeRecord& record);

// The product and file versions of a file's version resource as
// "%d.%d.%d.%d". False when the file has no readable version resource; the
// outputs are then left alone. version.dll is loaded from the system folder
// on use, never imported.
bool GetVersionTexts(const char* file, RCAnsiStr& productVersion, RCAnsiStr& fileVersion);
