// The 28-byte record of attributes and times that follows every folder and
// file in the payload archive: the head of the Win32 find-data record,
// little-endian, no gaps. Times are FILETIME values (100-ns intervals since
// 1601-01-01 UTC) held as 64-bit numbers.
#pragma once
#include <cstdint>

struct FileAttributeRecord {
    static constexpr int32_t kSize = 28;

    uint32_t attributes = 0;
    uint64_t creationTime = 0;
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;

    // Reads kSize bytes; writes kSize bytes. Explicitly little-endian.
    static FileAttributeRecord Decode(const uint8_t* bytes);
    void Encode(uint8_t* bytes) const;
};
