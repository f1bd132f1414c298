// An ArchiveSink that creates nothing: every folder and file "succeeds",
// content is dropped and only counted. For reading an archive through the
// real record loop without a disk (fuzzing, benchmarks, tests).
#pragma once
#include <cstdint>

#include "payload/ArchiveReader.h"

class DiscardingSink : public ArchiveSink {
public:
    void BetweenRecords() override {}
    bool CreateFolder(const char*) override
    {
        ++folders;
        return true;
    }
    void ApplyFolder(const char*, const FileAttributeRecord&) override {}
    bool OpenFile(const char*) override
    {
        ++files;
        return true;
    }
    int32_t WriteFile(const uint8_t*, int32_t length) override
    {
        contentBytes += static_cast<uint64_t>(length);
        return length;
    }
    bool CloseFile() override { return true; }
    bool ApplyFile(const char*, const FileAttributeRecord&) override { return true; }

    uint64_t folders = 0;
    uint64_t files = 0;
    uint64_t contentBytes = 0;
};
