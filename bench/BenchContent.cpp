#include "bench/BenchContent.h"

uint32_t BenchContent::Next()
{
    x_ ^= x_ << 13;
    x_ ^= x_ >> 7;
    x_ ^= x_ << 17;
    return static_cast<uint32_t>(x_ >> 32);
}

void BenchContent::TextLike(std::string& out, size_t length)
{
    static const char* const words[] = {
        "the ", "setup ", "of ", "and ", "install ", "file ", "data ", "program ", "version ", "to ",
        "a ", "is ", "for ", "user ", "window ", "folder ", "value ", "key=", "0x", "error ",
        "\\", "<item>", "</item>", "\"", "; ", ", ", ". ", "1", "2", "7", "-", "_", "(", ")"};
    const uint32_t n = static_cast<uint32_t>(sizeof words / sizeof words[0]);
    while (out.size() < length) {
        // Zipf-like: low indices are much more common.
        uint32_t a = Below(n);
        uint32_t b = Below(n);
        out += words[a < b ? a : b];
        if (Below(12) == 0)
            out += "\r\n";
    }
    out.resize(length);
}

void BenchContent::BinaryLike(std::string& out, size_t length)
{
    // Tables of little-endian records: slowly growing offsets, small flags,
    // repeated opcodes and a few random words.
    uint32_t offset = Next() & 0xFFFF;
    while (out.size() < length) {
        offset += Below(64);
        uint8_t rec[16];
        for (int i = 0; i < 4; ++i)
            rec[i] = static_cast<uint8_t>(offset >> (8 * i));
        rec[4] = static_cast<uint8_t>(Below(4));
        rec[5] = 0;
        rec[6] = 0x8B;
        rec[7] = static_cast<uint8_t>(0x40 + Below(8));
        uint32_t word = Below(8) == 0 ? Next() : 0;
        for (int i = 0; i < 4; ++i)
            rec[8 + i] = static_cast<uint8_t>(word >> (8 * i));
        rec[12] = 0xE8;
        rec[13] = static_cast<uint8_t>(Below(16));
        rec[14] = 0xFF;
        rec[15] = 0xFF;
        out.append(reinterpret_cast<const char*>(rec), sizeof rec);
    }
    out.resize(length);
}

void BenchContent::Incompressible(std::string& out, size_t length)
{
    while (out.size() < length) {
        uint32_t v = Next();
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(v >> (8 * i));
    }
    out.resize(length);
}

std::string BenchContent::Content(size_t length)
{
    std::string out;
    out.reserve(length);
    uint32_t kind = Below(100);
    if (kind < 50)
        TextLike(out, length);
    else if (kind < 85)
        BinaryLike(out, length);
    else
        Incompressible(out, length);
    return out;
}
