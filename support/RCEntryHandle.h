// RCEntryHandle: one file or folder held open by a handle of its own, so
// that decisions about it are made on the very object that is then changed
// or deleted, and so that nobody can delete, rename or replace it while it
// is held (the handle never shares delete access).
//
// The work folder lies in the user's profile: any process of the same user
// may plant a junction or a symbolic link in it while the launcher works.
// An entry is opened as itself, never followed (FILE_FLAG_OPEN_REPARSE_POINT),
// and is a link when the opened object or its name says so; a system that
// follows the link when opening (Wine does) still shows the link by name.
#pragma once
#include <cstdint>

#include "support/RCAnsiStr.h"

class RCEntryHandle {
public:
    enum Kind : int32_t {
        kNone = 0,   // nothing held
        kFile = 1,   // a plain file
        kFolder = 2, // a plain folder
        kLink = 3,   // a junction or symbolic link (to a file or a folder)
    };
    enum Use : int32_t {
        kHold = 0,   // held only: others may read and write it meanwhile
        kRemove = 1, // to change its attributes and delete it
        kClaim = 2,  // as kRemove, shared with nobody: fails while anyone has it open
    };
    // The file-system object itself, whatever path leads to it (a mapped
    // drive, a short name, a share's other spelling): its volume's serial
    // number and its index on that volume.
    struct Identity {
        uint32_t volume;
        uint32_t indexHigh;
        uint32_t indexLow;
        bool operator==(const Identity& other) const
        {
            return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
        }
    };

    RCEntryHandle() = default;
    ~RCEntryHandle();
    RCEntryHandle(const RCEntryHandle&) = delete;
    RCEntryHandle& operator=(const RCEntryHandle&) = delete;

    // Opens an existing entry (a held one is closed first). False when it
    // cannot be opened; Kind is then kNone.
    bool Open(const char* path, Use use);
    // Creates a new, empty file and holds it, open for writing. False when
    // anything of that name exists already (a link included) or it cannot
    // be created.
    bool CreateNewFile(const char* path);
    // Writes to a file made by CreateNewFile; the number of bytes written.
    int32_t Write(const uint8_t* data, int32_t length);
    // Sets the creation, last-access and last-write times (FILETIME values)
    // of a file made by CreateNewFile.
    bool SetTimes(uint64_t created, uint64_t accessed, uint64_t written);

    Kind GetKind() const { return kind_; }
    // The path it was opened by.
    const char* Path() const { return path_.Text(); }
    // The attributes of the opened object.
    uint32_t Attributes() const { return attributes_; }
    // Names that the object has (more than one: hard links elsewhere share
    // its content and attributes).
    uint32_t LinkCount() const { return links_; }
    // Which object is held, as Windows tells it now (all zero when nothing
    // is held or it cannot tell). Read anew on every call: where two drive
    // letters lead to one disk, Wine tells the serial number of whichever
    // it finds first, and so two identities compare only when read
    // together.
    Identity Object() const;

    // Sets the attributes of the held file or folder: through the handle
    // from Windows Vista on, before that by its name, which leads to it
    // while it is held. False for a link, which is never changed.
    bool SetAttributes(uint32_t attributes);
    // Deletes the held entry itself (opened with kRemove or kClaim): a file, an empty
    // folder, or a link (never its target). A file goes through the handle
    // from Windows Vista on (SetFileInformationByHandle, looked up at run
    // time); a folder, a link that opening followed, and a file before
    // Vista go by name once released (removing by name never reaches a
    // link's target, and a folder with content cannot be removed), and are
    // held again when that fails. True when it is deleted (or will be, once
    // released).
    bool Delete();
    // Takes back a deletion that Delete left for the release (a file's,
    // through the handle): the entry stays. False where there is none.
    bool KeepAfterAll();
    // Writes through what the system still holds back of a file written
    // through the handle (FlushFileBuffers). False when that fails.
    bool Flush();
    // Releases the handle. False when closing failed: for a file written
    // through it, a write that the system could only now report as failed
    // (a delayed write on a network share, a full disk).
    bool Close();

private:
    bool Reopen(Use use); // opens path_ again
    bool Classify();

    void* handle_ = nullptr; // a Windows HANDLE; null: none
    RCAnsiStr path_;
    Use use_ = kHold;
    Kind kind_ = kNone;
    uint32_t attributes_ = 0;
    uint32_t links_ = 0;
    bool linkItself_ = false; // the handle is on the link, not its target
};
