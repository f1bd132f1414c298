// PeFile: the few places in a PE image's headers that matter when the image
// is signed: the checksum, the entry of the certificate table in the data
// directory, and where that table lies in the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct PeLayout {
    uint32_t checksumPos = 0;      // file position of the optional header's CheckSum
    uint32_t securityEntryPos = 0; // file position of the certificate table's directory entry
    uint32_t certOffset = 0;       // the table itself: a file offset, not an RVA
    uint32_t certSize = 0;         // 0 when the image is not signed
};

class PeFile {
public:
    // Reads the headers from the first `size` bytes of an image; false,
    // with a reason, when they are not those of a PE image.
    static bool Read(const uint8_t* data, size_t size, PeLayout& layout, std::string& error);
};
