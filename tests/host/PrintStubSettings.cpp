// Prints the stub settings as this program reads them at run time, for the
// test that patches them into a copy of the program. Texts are printed as
// hexadecimal bytes so that no console code page can change them.
#include <cstdio>

#include "payload/StubSettings.h"
#include "support/RCAnsiStr.h"

namespace {

void PrintHex(const char* key, const RCAnsiStr& text)
{
    std::printf("%s=", key);
    for (int32_t i = 0; i < text.Length(); ++i)
        std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(text.Text()[i])));
    std::printf("\n");
}

} // namespace

int main()
{
    RCAnsiStr installer;
    StubSettings::InstallerName(installer);
    std::printf("offset=%ld\n", static_cast<long>(StubSettings::PayloadOffset()));
    PrintHex("installer", installer);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
