// The file-system path of a shell folder through the shell's item lists,
// in the ANSI code page. Apart from the other well-known folders, so that a
// program that asks for folders otherwise (the stub: SystemPath) links
// neither this nor the shell functions it calls.
#include <windows.h>
#include <shlobj.h>

#include "support/RCPath.h"

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

