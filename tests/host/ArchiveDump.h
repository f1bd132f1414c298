// Test helper: reads a payload the way the launcher does (raw input in
// 8192-byte pieces from the payload's start, each piece inflated whole
// with Z_SYNC_FLUSH, anything but Z_OK a failure) and lists its records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/FileAttributeRecord.h"

struct DumpedEntry {
    std::string path;      // components joined with "\", in archive bytes
    bool folder = false;
    std::string content;   // files only
    FileAttributeRecord record;
};

struct ArchiveDump {
    bool ok = false;             // the closing "U" was reached, every step Z_OK
    std::string error;           // why not
    std::vector<DumpedEntry> entries;
    std::vector<std::string> firstLines; // the lines before the first record
    int64_t piecesRead = 0;      // raw pieces taken before the closing "U"
    uint64_t trailingOutput = 0; // inflated bytes after the closing "U"

    // payload: the bytes from PayloadOffset to the end of the file.
    static ArchiveDump Read(const std::string& payload);
};
