// PlainExtractor: the plainest fast program that unpacks a payload, the
// limit that the launcher's extraction is measured against. It reads the
// file in large blocks, inflates with zlib straight into an output block,
// writes each file with one WriteFile per output block of its content,
// takes the CRC-32 with zlib's crc32 where the payload has check lines,
// sets times (and attributes, where they are not a new file's) through the
// open handle, makes folders with CreateDirectoryW and gives them their
// times when they are closed. It checks no links, holds nothing and shows
// nothing: names are taken as they come.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <zlib.h>

#include "support/FileAttributeRecord.h"

class PlainExtractor {
public:
    PlainExtractor();
    ~PlainExtractor();
    PlainExtractor(const PlainExtractor&) = delete;
    PlainExtractor& operator=(const PlainExtractor&) = delete;

    // Unpacks the payload that starts at offset in file into work, which
    // is made here (its parent must exist). True when the closing record
    // came and every check line matched.
    bool Run(const wchar_t* file, uint64_t offset, const wchar_t* work);

private:
    // Refills the output block; false when nothing more comes.
    bool Fill();
    bool Line(std::string& line);
    bool Exactly(uint8_t* into, size_t length);
    bool ReadRecord(FileAttributeRecord* record);
    bool Unpack(const std::wstring& work);
    bool WriteContent(HANDLE file, uint64_t size, uLong* crc);
    bool CloseFolder(const std::wstring& folder, const FileAttributeRecord& record);

    HANDLE in_ = INVALID_HANDLE_VALUE;
    z_stream zs_{};
    bool started_ = false;
    std::unique_ptr<uint8_t[]> inBlock_;
    std::unique_ptr<uint8_t[]> outBlock_;
    size_t pos_ = 0; // next byte of the output block
    size_t end_ = 0; // bytes in the output block
};
