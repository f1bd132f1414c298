#include <windows.h>

#include <cstdlib>
#include <new>

#include "payload/StubSettings.h"

// The stub is built without C++ exceptions, so the library's operator new,
// which throws, would only drag the exception machinery in: allocation goes
// straight to the C runtime, and running out of memory ends the program.
void* operator new(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        std::abort();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return StubSettings::PayloadOffset() < 0 ? 1 : 0; // keeps the settings in the program
}
