// HeldTree: the host side of --extract. The folders that entries are made
// in, each held open from the moment it is made (or, the top one, taken)
// and checked through its handle to be a real folder, and the one file
// being written. The system calls differ, the promises do not: one of
// HeldTreePosix.cpp (openat, mkdirat, futimens on descriptors) and
// HeldTreeWin.cpp (wide calls by full paths through the held folders, which
// cannot be renamed or replaced while held; SetFileInformationByHandle) is
// built, as CMake chooses.
//
// Names are UTF-8, one component each, decoded and checked by the caller.
// A false return leaves `why` saying what the system refused
// (SystemError), or empty when nothing of the system's failed (a name taken
// by a link or by a file, an entry that is not what it must be).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/FileAttributeRecord.h"

class HeldTree {
public:
    HeldTree();
    ~HeldTree(); // closes the file (keeping it) and lets go of every folder
    HeldTree(const HeldTree&) = delete;
    HeldTree& operator=(const HeldTree&) = delete;

    // How Begin went.
    enum class Top { Held, BadName, CannotMake, NotAFolder, NotEmpty };
    // Makes the folder `dir` (its parent must exist) and holds it; or, when
    // it exists, takes it as it is (a link to a folder included) if it is
    // an empty folder. A folder made here must be the one just made.
    Top Begin(const std::string& dir, std::string& why);

    // The folders held: 1 (dir) + the archive folders open below it.
    size_t Depth() const;
    // The archive name (code page 932) of the held folder at `level`
    // (1 .. Depth() - 1) that it was made for.
    const std::string& ArchiveName(size_t level) const;
    // Lets go of every held folder below the first `keep`.
    void LetGo(size_t keep);

    // Makes the folder `name` in the innermost held folder, or takes the
    // real folder of that name there, and holds it as the new innermost.
    bool MakeFolder(const std::string& name, const std::string& archiveName, std::string& why);
    // The times (a zero one left as it is) of the innermost held folder;
    // on Windows its attributes as well. False when they cannot be set.
    bool ApplyToFolder(const FileAttributeRecord& record);

    // Creates the file `name` new (a name that is taken is refused, a link
    // at it never followed) in the innermost held folder, and holds it.
    // (Not "CreateFile": windows.h makes that name a macro.)
    bool MakeFile(const std::string& name, std::string& why);
    bool HasFile() const;
    // Writes all of data, unbuffered; *written says how much went.
    bool WriteFile(const uint8_t* data, int32_t length, int32_t* written, std::string& why);
    // Times (a zero one left as it is) and attributes: read-only on POSIX
    // hosts (the write permissions go), those Windows lets a file have.
    bool ApplyToFile(const FileAttributeRecord& record, std::string& why);
    // Lets go of the file, keeping it: false when its last writes failed.
    bool CloseFile(std::string& why);
    // Lets go of the file and removes it (read-only or not); false when
    // it stays.
    bool RemoveFile();

private:
    // The platform's parts of LetGo and WriteFile: lets go of the innermost
    // held folder's handle; writes some of data, at least a byte, and says
    // how much (false with why when nothing could be written).
    void DropInnermost();
    bool WriteSome(const uint8_t* data, int32_t length, int32_t* written, std::string& why);

    struct Native; // the platform's handles, in step with names_
    std::unique_ptr<Native> native_;
    std::vector<std::string> names_; // the held folders' archive names, "" for the top
};
