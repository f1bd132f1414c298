#include "support/FileAttributeRecord.h"

namespace {

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A FILETIME: the low 32-bit word first.
uint64_t Get64(const uint8_t* p)
{
    return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v)
{
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

} // namespace

FileAttributeRecord FileAttributeRecord::Decode(const uint8_t* bytes)
{
    FileAttributeRecord record;
    record.attributes = Get32(bytes);
    record.creationTime = Get64(bytes + 4);
    record.lastAccessTime = Get64(bytes + 12);
    record.lastWriteTime = Get64(bytes + 20);
    return record;
}

void FileAttributeRecord::Encode(uint8_t* bytes) const
{
    Put32(bytes, attributes);
    Put64(bytes + 4, creationTime);
    Put64(bytes + 12, lastAccessTime);
    Put64(bytes + 20, lastWriteTime);
}
