// Deterministic content for the benchmarks: pseudo-random numbers and file
// content of three kinds in the proportions of a typical installer (text,
// binary tables, incompressible data).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class BenchContent {
public:
    explicit BenchContent(uint64_t seed) : x_(seed * 0x9E3779B97F4A7C15ull + 1) {}

    uint32_t Next();
    uint32_t Below(uint32_t n) { return Next() % n; }

    // length bytes of one kind, chosen at random: text-like half of the
    // time, binary-like a third, incompressible the rest.
    std::string Content(size_t length);

    void TextLike(std::string& out, size_t length);
    void BinaryLike(std::string& out, size_t length);
    void Incompressible(std::string& out, size_t length);

private:
    uint64_t x_;
};
