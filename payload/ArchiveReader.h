// ArchiveReader: the record loop of the payload archive.
//
// Reads tag, name and size lines, file content and attribute records from a
// stream that already returns inflated archive bytes, keeps the current
// folder as a path below the work folder, and hands every folder and file
// to a sink that creates them. Reading stays here; what happens on disk is
// the sink's business, so the same loop runs under a sink that writes
// nothing (for fuzzing).
//
// The CRC-32 of each file's content is taken as it is copied; when a check
// line follows the file's record, the two must agree. Archives without
// check lines read as before. Names are Shift-JIS, or UTF-8 where the
// archive's first lines say so; either way every name must pass the rule
// of payload/ArchiveName.h.
#pragma once
#include <cstdint>

#include "support/FileAttributeRecord.h"

class RCStream;

class ArchiveSink {
public:
    virtual ~ArchiveSink() = default;

    // Called before each record is read.
    virtual void BetweenRecords() = 0;

    // Creates a folder (its parents exist); false: it cannot be created.
    virtual bool CreateFolder(const char* path) = 0;
    // Gives a folder its attributes and times: when it is created, and again
    // when it is closed (its entries change its times). The result is ignored.
    virtual void ApplyFolder(const char* path, const FileAttributeRecord& record) = 0;

    // Creates or empties a file for writing; false: it cannot be created.
    virtual bool OpenFile(const char* path) = 0;
    // Writes to the open file; returns the number of bytes written.
    virtual int32_t WriteFile(const uint8_t* data, int32_t length) = 0;
    // Ends the file's content; false: what was still buffered could not be
    // written, so the file on disk is incomplete.
    virtual bool CloseFile() = 0;
    // Gives the file its attributes and times (a sink may still hold it
    // open, to set them through its own handle); false: they cannot be set.
    virtual bool ApplyFile(const char* path, const FileAttributeRecord& record) = 0;
    // Lets go of a file that a sink still held for ApplyFile; false: the
    // file system said only now that the content could not be written (a
    // delayed write on a network share, a full disk).
    virtual bool ReleaseFile() { return true; }
    // Whether the sink can write a Shift-JIS name (one that
    // IsSafeArchiveName passed) as it stands; false: the archive is
    // damaged. The launcher refuses names that code page 932 does not
    // assign, which no Windows could create right; a sink that writes names
    // down as bytes takes them all.
    virtual bool TakesName(const char*) { return true; }
    // The archive's first lines say that its names are UTF-8: from here on
    // the paths hold them decoded, in the program's byte form (characters
    // beyond ASCII as escaped UTF-16 units, support/EscapedUnit.h). Called
    // before the first record, if at all.
    virtual void NamesAreUtf8() {}
};

class ArchiveReader {
public:
    // File content goes to the sink in blocks of at most this size: a
    // quarter of the writes that 8 KiB pieces made, and small enough to stay
    // in the processor's first-level cache while it is copied, checked and
    // written (blocks of 256 KiB made the system's copy into its file cache
    // two to four times as slow).
    static constexpr int32_t kContentBlock = 32 * 1024;

    enum class Result {
        Complete,           // the closing "U" of the top level was read
        Damaged,            // a line, content, name or record is missing or invalid
        CheckFailed,        // a file's content differs from its check line
        FolderFailed,       // a folder could not be created
        FileCreateFailed,   // a file could not be created
        FileWriteFailed,    // a file could not be written completely
        AttributesFailed,   // a file's attributes or times could not be set
    };

    // workFolder: the folder the archive's top level stands for. When the
    // archive is Complete and checkedFiles is given, it receives how many
    // files matched a check line: fewer than the files read means that the
    // content of the others was not checked (an archive without check lines
    // reads as before, with none).
    static Result Read(RCStream& stream, const char* workFolder, ArchiveSink& sink, uint32_t* checkedFiles = nullptr);
};
