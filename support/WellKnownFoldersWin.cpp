// Well-known folders, asked of Windows and its shell.
#include "support/WellKnownFolders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace {

// The shell's allocator, released when it goes.
class ShellAllocator {
public:
    ShellAllocator()
    {
        if (FAILED(SHGetMalloc(&malloc_)))
            malloc_ = nullptr;
    }
    ~ShellAllocator()
    {
        if (malloc_ != nullptr)
            malloc_->Release();
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;

    IMalloc* Get() const { return malloc_; }

private:
    IMalloc* malloc_ = nullptr;
};

// An item list from the shell, freed through its allocator.
class ItemList {
public:
    explicit ItemList(IMalloc* allocator) : allocator_(allocator) {}
    ~ItemList()
    {
        if (items_ != nullptr)
            allocator_->Free(items_);
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    LPITEMIDLIST* Out() { return &items_; }
    LPCITEMIDLIST Get() const { return items_; }

private:
    IMalloc* allocator_;
    LPITEMIDLIST items_ = nullptr;
};

// Sets path from a name of count bytes in buffer; a count of 0 (the call
// failed) or of size or more (the name was cut off, or did not fit and
// the buffer holds nothing useful) leaves the path empty rather than
// naming the wrong place.
bool SetFromAnswer(RCPath& path, char* buffer, DWORD count, DWORD size)
{
    if (count == 0 || count >= size)
        buffer[0] = '\0';
    return path.SetPath(buffer);
}

} // namespace

bool GetSpecialFolder(int32_t folder, char* buffer)
{
    ShellAllocator allocator;
    if (allocator.Get() == nullptr)
        return false;
    ItemList items(allocator.Get());
    HRESULT found = SHGetSpecialFolderLocation(GetDesktopWindow(), folder, items.Out());
    buffer[0] = '\0';
    // A folder outside the file system has no path: the shell says so with
    // false, and what it left in the buffer is not to be trusted.
    if (SUCCEEDED(found) && items.Get() != nullptr && !SHGetPathFromIDListA(items.Get(), buffer))
        buffer[0] = '\0';
    return true;
}

bool SetToModuleFile(RCPath& path)
{
    // One byte beyond the path limit stays zero: a name that does not fit is
    // cut off, and older Windows versions then write no terminator.
    char buffer[kMaxPath + 1];
    std::memset(buffer, 0, sizeof buffer);
    return SetFromAnswer(path, buffer, GetModuleFileNameA(nullptr, buffer, kMaxPath), kMaxPath);
}

bool SetToWindowsDirectory(RCPath& path)
{
    char buffer[kMaxPath];
    std::memset(buffer, 0, sizeof buffer);
    // The answer is the length, or the size needed when the buffer is too small.
    return SetFromAnswer(path, buffer, GetWindowsDirectoryA(buffer, kMaxPath), kMaxPath);
}
