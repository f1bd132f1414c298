#include "payload/Crc32.h"

namespace {

uint32_t LittleEndian32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

Crc32::Crc32()
{
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table_[0][n] = c;
    }
    for (int k = 1; k < 8; ++k) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = table_[k - 1][n];
            table_[k][n] = table_[0][c & 0xFFu] ^ (c >> 8);
        }
    }
}

void Crc32::Update(const uint8_t* data, size_t length)
{
    uint32_t c = state_;
    while (length >= 8) {
        uint32_t one = c ^ LittleEndian32(data);
        uint32_t two = LittleEndian32(data + 4);
        c = table_[7][one & 0xFFu] ^ table_[6][(one >> 8) & 0xFFu] ^ table_[5][(one >> 16) & 0xFFu] ^
            table_[4][one >> 24] ^ table_[3][two & 0xFFu] ^ table_[2][(two >> 8) & 0xFFu] ^
            table_[1][(two >> 16) & 0xFFu] ^ table_[0][two >> 24];
        data += 8;
        length -= 8;
    }
    for (size_t i = 0; i < length; ++i)
        c = table_[0][(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    state_ = c;
}
