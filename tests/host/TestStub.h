// Test helper: a small PE image that stands in for the launcher stub: one
// data section holding the settings block, no code worth running. Enough
// for the builder's checks and for the signing tool.
#pragma once
#include <cstdint>
#include <string>

struct TestStub {
    int blocks = 1;          // copies of the untouched settings block
    bool pe32plus = false;   // 64-bit optional header
    bool alreadySigned = false;
    bool widePaths = false;  // carries the names of the wide path route, as the real stub
    bool utf8Names = false;  // carries the names line, as the real stub: reads UTF-8 names

    std::string Bytes() const;

    // Where the (first) settings block lies in Bytes().
    static constexpr uint32_t kBlockAt = 0x240;
};
