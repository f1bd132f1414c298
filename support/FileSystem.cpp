#include "support/FileSystem.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "support/RCEntryHandle.h"
#include "support/RCPath.h"
#include "support/SystemPath.h"
#include "support/WinHandle.h"

namespace {


FILETIME ToFileTime(uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

// Stores a FILETIME as a UTC date and time, without the day of the week and
// the milliseconds. A time that does not convert (beyond the year 30827)
// leaves the date-time as it was.
void StoreTime(const FILETIME& time, RCDateTime& into)
{
    SYSTEMTIME system;
    if (!FileTimeToSystemTime(&time, &system))
        return;
    into.SetDate(system.wYear, system.wMonth, system.wDay);
    into.SetTime(system.wHour, system.wMinute, system.wSecond);
}

// The shared policy of DeleteFileRetry and RemoveDirectoryRetry, decided
// and carried out on the entry held by a handle of its own, so that what was
// checked is what is deleted.
bool RemoveRetry(const char* path, bool folder, bool clearReadOnly)
{
    RCEntryHandle entry;
    if (!entry.Open(path, RCEntryHandle::kRemove))
        return false; // missing, or in use without delete sharing
    if (entry.GetKind() != RCEntryHandle::kLink &&
        entry.GetKind() != (folder ? RCEntryHandle::kFolder : RCEntryHandle::kFile))
        return false;
    return DeleteEntryRetry(entry, clearReadOnly);
}

} // namespace

namespace {

// Read-only off, the times, the record's attributes last. A failure after
// read-only was cleared leaves it cleared. Attribute writes that would
// change nothing are left out.
bool ApplyRecord(const char* text, const FileAttributeRecord& record, bool folder)
{
    const SystemPath path(text);
    DWORD attributes = path.Attributes();
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    // Cleared only where it is set: writing the attributes back unchanged
    // would change nothing and cost a metadata write for every extracted
    // file (Wine takes longer over it than over opening the file).
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        !path.SetAttributes(attributes & ~FILE_ATTRIBUTE_READONLY))
        return false;
    {
        // A folder is opened for its times with backup semantics.
        FileHandle handle(folder ? path.Open(GENERIC_WRITE | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS)
                                 : path.Open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
        if (!handle.Valid())
            return false;
        FILETIME created = ToFileTime(record.creationTime);
        FILETIME accessed = ToFileTime(record.lastAccessTime);
        FILETIME written = ToFileTime(record.lastWriteTime);
        bool set = SetFileTime(handle.Get(), &created, &accessed, &written) != 0;
        handle.Close();
        if (!set)
            return false;
    }
    // The record's attributes last. Setting the times leaves the attributes
    // as they were after read-only was cleared; when the record asks for
    // exactly those, the write is left out for the same reason as above.
    if (record.attributes == (attributes & ~FILE_ATTRIBUTE_READONLY))
        return true;
    return path.SetAttributes(record.attributes);
}

const char* OrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

} // namespace

bool PathExists(const char* path, bool directoryRequired)
{
    RCPath parsed(path);
    int32_t count = parsed.Count();
    if (count == 0)
        return false;
    // \\server alone, or with one more component: never asks the network.
    if (count < 3 && std::strcmp(parsed.Component(0), "\\") == 0)
        return false;
    if (count == 1) {
        // A drive. The root needs its backslash: "C:" alone names the
        // current folder of that drive, not its root.
        RCAnsiStr root(parsed.Text());
        root.Append("\\");
        // A drive's root is plain ASCII: the same on every code page.
        UINT type = GetDriveTypeA(root.Text());
        return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
    }
    const DWORD found = SystemPath(parsed.Text()).FirstFoundAttributes();
    if (found == INVALID_FILE_ATTRIBUTES)
        return false;
    return !directoryRequired || (found & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EntryExists(const char* path, bool fileRequired)
{
    if (path == nullptr || *path == '\0')
        return false;
    const DWORD found = SystemPath(path).FirstFoundAttributes();
    if (found == INVALID_FILE_ATTRIBUTES)
        return false;
    return !fileRequired || (found & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateDirectoryTree(const char* path)
{
    RCAnsiStr rest(path);
    if (rest.Length() == 0)
        return false;

    RCAnsiStr start;
    if (rest.CharAt(0) == '\\' && rest.CharAt(1) == '\\') {
        // UNC: each level is appended as "\" + piece, so the first is \\server.
        start.Assign("\\");
        rest.DeleteFirstChar();
        rest.DeleteFirstChar();
    } else if (rest.CharAt(1) == ':') {
        start.Assign("?:");
        start.SetByteAt(0, static_cast<char>(rest.ByteAt(0)));
        // Drive letter, colon and the separator after them.
        rest.DeleteFirstChar();
        rest.DeleteFirstChar();
        rest.DeleteFirstChar();
    } else {
        RCPath own;
        SetToModuleFile(own);
        own.RemoveLast();
        start.Assign(own.Text());
    }

    if (rest.LastChar() == '\\')
        rest.DeleteLastChar();
    if (rest.Length() == 0)
        return true;   // a drive or the program's folder: nothing to make

    RCAnsiStr piece;
    for (;;) {
        int32_t separator = rest.FindChar('\\');
        // A separator at position 0 (a doubled one) ends the level-by-level
        // creation: the rest is made in one call.
        bool last = separator < 1;
        piece.Assign(rest.Text());
        if (!last) {
            piece.KeepBefore(separator);
            rest.KeepAfter(separator);
        }
        start.Append("\\");
        start.Append(piece.Text());
        // Fails harmlessly on a level that exists already; only the final
        // test below counts.
        SystemPath(start.Text()).MakeFolder();
        if (last)
            break;
    }
    return PathExists(start.Text(), true);
}

bool CreateLeafDirectory(const char* path)
{
    path = OrEmpty(path);
    // Made now, or there before (as a folder: the test below).
    SystemPath(path).MakeFolder();
    return PathExists(path, true);
}

bool DeleteEntryRetry(RCEntryHandle& entry, bool clearReadOnly)
{
    // A link is deleted as a link: never entered, and its attributes (which
    // may be its target's) are never changed. A file with other names (hard
    // links) keeps its read-only attribute: clearing it would change the
    // file behind those names too.
    if (entry.Delete())
        return true;
    if (!clearReadOnly || entry.GetKind() == RCEntryHandle::kNone || entry.GetKind() == RCEntryHandle::kLink ||
        entry.LinkCount() > 1)
        return false;
    const uint32_t attributes = entry.Attributes();
    if (!entry.SetAttributes(attributes & ~static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY)))
        return false;
    if (entry.Delete())
        return true;
    // The entry stays: it keeps the attributes it had.
    if (entry.GetKind() != RCEntryHandle::kNone)
        entry.SetAttributes(attributes);
    return false;
}

bool DeleteFileRetry(const char* path, bool clearReadOnly)
{
    return RemoveRetry(OrEmpty(path), false, clearReadOnly);
}

bool RemoveDirectoryRetry(const char* path, bool clearReadOnly)
{
    return RemoveRetry(OrEmpty(path), true, clearReadOnly);
}

bool OnLocalFixedDisk(const char* path)
{
    path = OrEmpty(path);
    if (path[0] == '\0' || path[1] != ':')
        return false;
    // A drive's root is plain ASCII: the same on every code page.
    const char root[] = {path[0], ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_FIXED;
}

bool ListEntries(const char* folder, RCList<___RSFILEINFO>& list)
{
    list.Clear();
    RCAnsiStr pattern(folder);
    pattern.Append(pattern.LastChar() == '\\' ? "*" : "\\*");

    WIN32_FIND_DATAA data;
    RCAnsiStr name;
    FindHandle find(SystemPath(pattern.Text()).FindFirst(data, name));
    if (!find.Valid())
        return false;

    do {
        if (name.Equals(".") || name.Equals(".."))
            continue;
        ___RSFILEINFO* entry = new ___RSFILEINFO;
        list.Add(entry);   // the list owns it from here

        entry->sizeHigh = data.nFileSizeHigh;
        entry->sizeLow = data.nFileSizeLow;
        StoreTime(data.ftCreationTime, entry->created);
        StoreTime(data.ftLastAccessTime, entry->lastAccessed);
        StoreTime(data.ftLastWriteTime, entry->lastWritten);

        entry->attributes = data.dwFileAttributes;
        entry->access = kAccessWritable | kAccessReadable | kAccessVisible;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry->access |= kAccessDirectory;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)
            entry->access &= ~static_cast<uint32_t>(kAccessVisible);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            entry->access &= ~static_cast<uint32_t>(kAccessWritable);

        // The backslash is added even after a folder text that ends with
        // one; Windows reads the doubled separator as one.
        entry->fullPath.Assign(folder);
        entry->fullPath.Append("\\");
        entry->fullPath.Append(name.Text());
        entry->name.Assign(name.Text());
    } while (SystemPath::FindNext(find.Get(), data, name));
    return true;
}


bool ApplyFolderRecord(const char* folder, const FileAttributeRecord& record)
{
    return ApplyRecord(OrEmpty(folder), record, true);
}

bool ApplyFileRecord(const char* file, const FileAttributeRecord& record)
{
    return ApplyRecord(OrEmpty(file), record, false);
}

