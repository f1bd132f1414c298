#include "tests/host/TestStub.h"

#include <cstring>

#include "payload/ArchiveFormat.h"
#include "payload/StubSettings.h"
#include "support/PathFunctionNames.h"

namespace {

void Put16(std::string& b, size_t at, uint16_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

std::string TestStub::Bytes() const
{
    std::string b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    std::memcpy(&b[0x40], "PE\0\0", 4);
    const size_t coff = 0x44;
    Put16(b, coff + 0, pe32plus ? 0x8664 : 0x14C); // machine
    Put16(b, coff + 2, 1);                          // sections
    const uint16_t optionalSize = pe32plus ? 240 : 224;
    Put16(b, coff + 16, optionalSize);
    Put16(b, coff + 18, pe32plus ? 0x0022 : 0x0102); // executable image
    const size_t opt = coff + 20;
    Put16(b, opt + 0, pe32plus ? 0x20B : 0x10B);
    Put32(b, opt + 8, 0x200);    // size of initialised data
    Put32(b, opt + 16, 0x1000);  // entry point
    Put32(b, opt + 20, 0x1000);  // base of code
    if (pe32plus) {
        Put32(b, opt + 24, 0x40000000); // image base, low word
        Put32(b, opt + 28, 0x1);        // high word
    } else {
        Put32(b, opt + 24, 0x1000);   // base of data
        Put32(b, opt + 28, 0x400000); // image base
    }
    Put32(b, opt + 32, 0x1000); // section alignment
    Put32(b, opt + 36, 0x200);  // file alignment
    Put16(b, opt + 40, 4);      // OS version
    Put16(b, opt + 48, 4);      // subsystem version
    Put32(b, opt + 56, 0x2000); // size of image
    Put32(b, opt + 60, 0x200);  // size of headers
    Put16(b, opt + 68, 2);      // GUI
    const size_t sizes = 72; // stack and heap sizes start here
    if (pe32plus) {
        Put32(b, opt + sizes, 0x100000);
        Put32(b, opt + sizes + 8, 0x1000);
        Put32(b, opt + sizes + 16, 0x100000);
        Put32(b, opt + sizes + 24, 0x1000);
    } else {
        Put32(b, opt + sizes, 0x100000);
        Put32(b, opt + sizes + 4, 0x1000);
        Put32(b, opt + sizes + 8, 0x100000);
        Put32(b, opt + sizes + 12, 0x1000);
    }
    const size_t countAt = pe32plus ? 108 : 92;
    Put32(b, opt + countAt, 16);
    const size_t security = opt + countAt + 4 + 4 * 8;
    const size_t sectionTable = opt + optionalSize;
    std::memcpy(&b[sectionTable], ".data\0\0\0", 8);
    Put32(b, sectionTable + 8, 0x200);       // virtual size
    Put32(b, sectionTable + 12, 0x1000);     // virtual address
    Put32(b, sectionTable + 16, 0x200);      // raw size
    Put32(b, sectionTable + 20, 0x200);      // raw position
    Put32(b, sectionTable + 36, 0xC0000040); // initialised data, read, write
    std::memset(&b[0x200], 'x', 0x40);
    for (int i = 0; i < blocks; ++i)
        std::memcpy(&b[kBlockAt + i * 0x60], StubSettings::kDefaultBlock, StubSettings::kBlockSize);
    // After two blocks, inside the section.
    if (widePaths)
        std::memcpy(&b[0x300], kPathFunctionNames, sizeof kPathFunctionNames);
    static_assert(0x300 + sizeof kPathFunctionNames <= 0x3E0, "the two texts apart");
    if (utf8Names)
        std::memcpy(&b[0x3E0], ArchiveFormat::kUtf8NamesLine, std::strlen(ArchiveFormat::kUtf8NamesLine) + 1);
    if (alreadySigned) {
        Put32(b, security, static_cast<uint32_t>(b.size()));
        Put32(b, security + 4, 8);
        b.append("\x08\0\0\0\0\x02\x02\0", 8); // a certificate table header, no certificate
    }
    return b;
}
