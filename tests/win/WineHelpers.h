// Helpers for Windows tests that must know whether they run under Wine and
// that need a hand from the Linux side (Wine cannot make links itself).
// Every path handed to them must lie inside a TestFolder.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testwin {

// True when the program runs under Wine (its ntdll exports wine_get_version).
bool IsWine();

// The Linux name of a Windows path (Wine only; empty elsewhere or on failure).
std::string UnixPath(const std::string& windowsPath);
// The other way: a path of the build tree (Linux) as a Windows program sees
// it, through Z:, the Linux root. A path that is not absolute is kept.
std::string ThroughZ(const char* linuxPath);

// Makes a symbolic link to a folder: CreateSymbolicLinkA where that really
// makes one, otherwise (Wine) a link made on the Linux side. Both paths must
// lie inside scratch. *how says which way worked. False when neither did.
bool MakeFolderLink(const std::string& scratch, const std::string& link, const std::string& target,
                    std::string* how);

// The same for a file: CreateSymbolicLinkA, or a link made on the Linux side
// (which Wine shows as a plain file: only the Linux side knows it is a link).
bool MakeFileLink(const std::string& scratch, const std::string& link, const std::string& target,
                  std::string* how);

// Removes a link made by MakeFolderLink or MakeFileLink, never its target's content: with
// RemoveDirectoryA, or on Wine (where that cannot remove a Linux-side link)
// with rm on the Linux side. The link must lie inside scratch.
bool RemoveFolderLink(const std::string& scratch, const std::string& link);

// Wine only: makes \\server\share serve folder (which must lie inside
// scratch), through the prefix's dosdevices/unc/server/share, as a network
// share would; replaces an earlier mapping of that name. False elsewhere or
// on failure.
bool MapShare(const std::string& scratch, const std::string& server, const std::string& share,
              const std::string& folder);
// Removes that mapping (the link, never the folder's content).
bool UnmapShare(const std::string& scratch, const std::string& server, const std::string& share);

// Makes drive ("Q:") lead to folder (which must lie inside scratch), as a
// SUBST or mapped drive does: DefineDosDeviceA on Windows, a link in the
// prefix's dosdevices on Wine. False on failure.
bool MapDrive(const std::string& scratch, const std::string& drive, const std::string& folder);
// Removes that mapping (never the folder's content).
bool UnmapDrive(const std::string& scratch, const std::string& drive);

// A drive letter with nothing behind it ("Q:"), or empty when all are used.
std::string FreeDrive();

// Attributes, or INVALID_FILE_ATTRIBUTES.
DWORD Attributes(const std::string& path);
// Whether anything is at path, and whether that is a folder.
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);

// Calls visit with the find data of every entry of folder but "." and "..",
// in the order the file system lists them; false when it cannot be listed.
bool ForEachEntry(const std::string& folder, const std::function<void(const WIN32_FIND_DATAA&)>& visit);

// The running program's file, and the folder it lies in (empty on failure).
std::string OwnFile();
std::string OwnFolder();

struct Times {
    uint64_t created = 0;
    uint64_t accessed = 0;
    uint64_t written = 0;
};
// The three times of a file or folder; false when it cannot be opened.
bool ReadTimes(const std::string& path, Times* times);
// A FILETIME value for a UTC date and time (and 100-ns ticks on top).
uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second, uint32_t ticks = 0);

// Copies the running test program to exe and runs one test of it there,
// disabled ones included, with the current folder set to cwd. Returns the
// exit code, or -1 when it could not be run or did not end in time.
int32_t RunCopyOfSelf(const std::string& exe, const std::string& test, const std::string& cwd);

} // namespace testwin
