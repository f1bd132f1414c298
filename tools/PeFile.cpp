#include "tools/PeFile.h"

namespace {

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSecurityIndex = 4; // IMAGE_DIRECTORY_ENTRY_SECURITY

} // namespace

bool PeFile::Read(const uint8_t* data, size_t size, PeLayout& layout, std::string& error)
{
    layout = PeLayout();
    if (size < 64 || data[0] != 'M' || data[1] != 'Z') {
        error = "not a Windows program (no MZ header)";
        return false;
    }
    // All positions below are 64-bit sums of 32-bit values: no wrap-around.
    uint64_t pe = Get32(data + 0x3C);
    if (pe + 4 + kCoffHeaderSize > size || data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] != 0 ||
        data[pe + 3] != 0) {
        error = "not a Windows program (no PE header)";
        return false;
    }
    uint64_t optional = pe + 4 + kCoffHeaderSize;
    uint64_t optionalSize = Get16(data + pe + 4 + 16);
    if (optionalSize < 2 || optional + optionalSize > size) {
        error = "damaged PE header (optional header)";
        return false;
    }
    uint16_t magic = Get16(data + optional);
    // Offsets inside the optional header: NumberOfRvaAndSizes and the data
    // directory differ between PE32 and PE32+.
    uint64_t countPos;
    if (magic == kMagicPe32)
        countPos = 92;
    else if (magic == kMagicPe32Plus)
        countPos = 108;
    else {
        error = "damaged PE header (unknown optional header kind)";
        return false;
    }
    uint64_t directory = countPos + 4;
    uint64_t entry = directory + 8 * kSecurityIndex;
    if (entry + 8 > optionalSize || Get32(data + optional + countPos) <= kSecurityIndex) {
        error = "damaged PE header (no certificate table entry)";
        return false;
    }
    layout.checksumPos = static_cast<uint32_t>(optional + 64);
    layout.securityEntryPos = static_cast<uint32_t>(optional + entry);
    layout.certOffset = Get32(data + layout.securityEntryPos);
    layout.certSize = Get32(data + layout.securityEntryPos + 4);
    return true;
}
