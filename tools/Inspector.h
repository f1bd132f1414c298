// Inspector: looks into a finished installer (--list, --verify). It finds
// the stub settings and reads the whole payload with the launcher's own
// record loop (ArchiveReader through RCFile and RCDecompress), so it reads
// exactly what the launcher would, check lines included, from installers
// made by any builder that follows docs/format.md.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/FileAttributeRecord.h"

class ArchiveSink;
class NameCodec;

struct InspectedEntry {
    std::string path; // archive bytes (UTF-8 names escaped), "\" between components
    bool folder = false;
    uint64_t size = 0; // files: the bytes of content read
    FileAttributeRecord record;
};

class Inspector {
public:
    // Reads the installer; false (with a fault naming the first problem)
    // when the settings cannot be found or the payload is not sound.
    // `entries` holds what was read up to the fault.
    // With a writer (--extract), every folder and file is handed on to it
    // as well; what it refuses ends the read.
    bool Read(const std::string& path, ArchiveSink* writer = nullptr);

    // The folder the archive's top level stands for while it is read.
    static constexpr const char* kArchiveRoot = "C:\\qm";

    // The first problem, any payload path in it shown in UTF-8 (as the
    // listing shows it).
    std::string Fault(NameCodec& codec) const;
    // After a complete read: how many files there are, and how many of
    // them matched a check line. Only when the two agree was every byte of
    // content checked.
    uint32_t Files() const;
    uint32_t CheckedFiles() const { return checkedFiles_; }
    const std::string& InstallerName() const { return installerName_; } // archive bytes
    uint32_t PayloadOffset() const { return payloadOffset_; }
    // Whether the payload's names are UTF-8 (its first lines say so).
    bool Utf8Names() const { return utf8Names_; }
    const std::vector<InspectedEntry>& Entries() const { return entries_; }

    // The listing that --list prints (names in UTF-8).
    std::string Listing(NameCodec& codec) const;

    // Finds the filled-in settings in the installer's first bytes (the stub
    // and the payload's start): a PayloadOffset area (decimal digits, a zero)
    // followed 25 bytes on by a safe installer name and its zero, where the
    // offset lies behind the settings and points at a zlib header. The first
    // such place counts. False when there is none.
    static bool FindSettings(const std::vector<uint8_t>& head, uint32_t* offset, std::string* name);

private:
    // A fault reads fault_, the archive path faultName_ shown, faultEnd_.
    std::string fault_;
    std::string faultName_;
    std::string faultEnd_;
    uint32_t checkedFiles_ = 0;
    bool utf8Names_ = false;
    std::string installerName_;
    uint32_t payloadOffset_ = 0;
    std::vector<InspectedEntry> entries_;
};
