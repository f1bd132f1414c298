// Writes the stand-in stub to the path given, for scripts that need a stub
// without a Windows build.
#include <cstdio>

#include "tests/host/TestStub.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-test-stub FILE\n");
        return 2;
    }
    std::string bytes = TestStub().Bytes();
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr)
        return 1;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0 && ok) ? 0 : 1;
}
