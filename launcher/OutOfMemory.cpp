// The program's allocator: the C runtime's heap.
//
// Running out of memory is the one failure that the program's code does
// not test for. It ends here: the standard exception display is shown,
// owned by the application, and the program ends with its own exit status
// for it (launcher/ExitStatus.h). The
// window cannot stay behind refusing to close, and no exception machinery
// is needed.
//
// Built with QM_FAILING_ALLOCATOR (test variants only), the allocation
// numbered by the environment variable QM_FAIL_ALLOCATION (1 = the first)
// fails.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "launcher/Application.h"
#include "launcher/ExitStatus.h"

namespace {

// Plain ASCII: the ANSI box shows it right whatever the code page.
constexpr char kOutOfMemory[] = "Out of memory.";

[[noreturn]] void OutOfMemory()
{
    Application* application = Application::OfThisThread();
    if (application != nullptr) {
        // No event handler may start work in the box's message loop.
        application->Terminate();
        application->ShowException(kOutOfMemory);
    } else {
        MessageBoxA(nullptr, kOutOfMemory, "", MB_OK | MB_ICONERROR);
    }
    ExitProcess(ExitStatus::kOutOfMemory);
}

#ifdef QM_FAILING_ALLOCATOR
bool FailThisAllocation()
{
    // Test variants only: one counter for the process.
    static long remaining = -1; // -1: not read yet; 0: nothing to fail
    if (remaining == -1) {
        // Read through Windows: the stub runs without the C runtime's start-up.
        char setting[32];
        DWORD n = GetEnvironmentVariableA("QM_FAIL_ALLOCATION", setting, sizeof setting);
        remaining = (n > 0 && n < sizeof setting) ? std::atol(setting) : 0;
        if (remaining < 0)
            remaining = 0;
    }
    if (remaining == 0)
        return false;
    return --remaining == 0;
}
#endif

void* Allocate(std::size_t size)
{
    // malloc(0) may answer null; every request gets at least one byte.
    void* block = std::malloc(size != 0 ? size : 1);
#ifdef QM_FAILING_ALLOCATOR
    if (block != nullptr && FailThisAllocation()) {
        std::free(block);
        block = nullptr;
    }
#endif
    if (block == nullptr)
        OutOfMemory();
    return block;
}

} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}

void* operator new[](std::size_t size)
{
    return Allocate(size);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

// An array whose size in bytes cannot be expressed: it cannot be had either.
extern "C" [[noreturn]] void __cxa_throw_bad_array_new_length()
{
    OutOfMemory();
}
