#include "payload/Crc32.h"

Crc32::Crc32()
{
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table_[n] = c;
    }
}

void Crc32::Update(const uint8_t* data, size_t length)
{
    uint32_t c = state_;
    for (size_t i = 0; i < length; ++i)
        c = table_[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    state_ = c;
}
