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
    for (int k = 1; k < 16; ++k) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = table_[k - 1][n];
            table_[k][n] = table_[0][c & 0xFFu] ^ (c >> 8);
        }
    }
}

void Crc32::Update(const uint8_t* data, size_t length)
{
    uint32_t c = state_;
    while (length >= 16) {
        uint32_t a = c ^ LittleEndian32(data);
        uint32_t b = LittleEndian32(data + 4);
        uint32_t d = LittleEndian32(data + 8);
        uint32_t e = LittleEndian32(data + 12);
        c = table_[15][a & 0xFFu] ^ table_[14][(a >> 8) & 0xFFu] ^ table_[13][(a >> 16) & 0xFFu] ^ table_[12][a >> 24] ^
            table_[11][b & 0xFFu] ^ table_[10][(b >> 8) & 0xFFu] ^ table_[9][(b >> 16) & 0xFFu] ^ table_[8][b >> 24] ^
            table_[7][d & 0xFFu] ^ table_[6][(d >> 8) & 0xFFu] ^ table_[5][(d >> 16) & 0xFFu] ^ table_[4][d >> 24] ^
            table_[3][e & 0xFFu] ^ table_[2][(e >> 8) & 0xFFu] ^ table_[1][(e >> 16) & 0xFFu] ^ table_[0][e >> 24];
        data += 16;
        length -= 16;
    }
    for (size_t i = 0; i < length; ++i)
        c = table_[0][(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    state_ = c;
}
