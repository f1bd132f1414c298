// StubImage: the launcher stub as the builder takes it in: a PE image, not
// yet signed, holding the settings block exactly once. The builder fills
// the block in: the payload's offset (the stub's own length, as decimal
// text) and the installer's name, each zero-terminated in its 25-byte area.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class StubImage {
public:
    bool Load(const std::string& path, std::string& error);

    // Checks and writes both settings. installerName is in code page 932,
    // at most 24 bytes. The offset is the stub's length.
    bool Patch(const std::string& installerName, std::string& error);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Where the payload starts: the stub's length.
    uint64_t PayloadOffset() const { return bytes_.size(); }

    // How often the untouched settings block occurs in `bytes`.
    static int CountBlocks(const std::vector<uint8_t>& bytes, size_t* firstAt);

private:
    std::vector<uint8_t> bytes_;
    size_t blockAt_ = 0;
};
