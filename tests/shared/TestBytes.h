// Deterministic test data and payload helpers shared by the stream tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/shared/StringSink.h"

// Pseudo-random bytes from a seed; with printable set, only 0x20..0x7E (so
// never CR, LF or NUL).
inline std::string NoiseBytes(size_t length, uint32_t seed, bool printable = false)
{
    std::string bytes(length, '\0');
    uint32_t x = seed * 2654435761u + 1u;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        uint8_t b = static_cast<uint8_t>(x >> 24);
        bytes[i] = static_cast<char>(printable ? 0x20 + b % 0x5F : b);
    }
    return bytes;
}

// A never-finished zlib stream holding the pieces, each ended by a sync
// flush, as the launcher's payloads are written.
inline std::string SyncFlushed(const std::vector<std::string>& pieces)
{
    StringSink sink;
    PayloadWriter writer(sink);
    for (const std::string& piece : pieces)
        writer.Piece(piece.data(), piece.size());
    return sink.bytes;
}

// Everything that a bare inflate makes of input, with room for all of it.
inline std::string BareInflate(const std::string& input)
{
    z_stream zs{};
    EXPECT_EQ(inflateInit(&zs), Z_OK);
    std::string out;
    uint8_t window[65536];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    zs.avail_in = static_cast<uInt>(input.size());
    int rc;
    do {
        zs.next_out = window;
        zs.avail_out = sizeof window;
        rc = inflate(&zs, Z_SYNC_FLUSH);
        out.append(reinterpret_cast<const char*>(window), sizeof window - zs.avail_out);
    } while (rc == Z_OK && zs.avail_out == 0);
    inflateEnd(&zs);
    return out;
}
