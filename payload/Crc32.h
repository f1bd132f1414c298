// Crc32: the CRC-32 of zlib, gzip and ZIP (reflected polynomial 0xEDB88320,
// start and final XOR with all ones), as the payload's check lines carry it.
//
// Each object builds its own 1 KiB table when it is made (a few microseconds)
// and then takes one table look-up per byte; the launcher makes one object
// per extraction. zlib's own crc32 is faster but brings 8 KiB of tables,
// which the stub cannot carry.
#pragma once
#include <cstddef>
#include <cstdint>

class Crc32 {
public:
    Crc32();

    // Starts a new value: the CRC of no bytes (0).
    void Reset() { state_ = 0xFFFFFFFFu; }
    void Update(const uint8_t* data, size_t length);
    uint32_t Value() const { return ~state_; }

private:
    uint32_t table_[256];
    uint32_t state_ = 0xFFFFFFFFu;
};
