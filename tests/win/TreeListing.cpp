#include "tests/win/TreeListing.h"

#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cwchar>

#include "support/WinHandle.h"
#include "tools/WideText.h"

namespace {

uint64_t Ticks(const FILETIME& t)
{
    return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

bool Walk(const std::wstring& folder, const std::wstring& relative, std::vector<ListedEntry>* entries)
{
    std::vector<ListedEntry> here;
    {
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (!find.Valid())
            return false;
        do {
            if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0)
                continue;
            ListedEntry e;
            e.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            e.attributes = data.dwFileAttributes;
            e.created = Ticks(data.ftCreationTime);
            e.accessed = Ticks(data.ftLastAccessTime);
            e.written = Ticks(data.ftLastWriteTime);
            e.size = e.folder ? 0 : static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
            e.path = relative.empty() ? std::wstring(data.cFileName) : relative + L"\\" + data.cFileName;
            here.push_back(e);
        } while (FindNextFileW(find.Get(), &data));
    }
    // The whole level is recorded before any folder of it is listed.
    entries->insert(entries->end(), here.begin(), here.end());
    for (const ListedEntry& e : here) {
        if (e.folder && (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            std::wstring name = e.path.substr(relative.empty() ? 0 : relative.size() + 1);
            if (!Walk(folder + L"\\" + name, e.path, entries))
                return false;
        }
    }
    return true;
}

} // namespace

bool ListedEntry::operator==(const ListedEntry& o) const
{
    return folder == o.folder && attributes == o.attributes && created == o.created && accessed == o.accessed &&
           written == o.written && size == o.size && path == o.path;
}

bool TreeListing::Take(const std::wstring& root, std::vector<ListedEntry>* entries)
{
    entries->clear();
    if (!Walk(root, std::wstring(), entries))
        return false;
    std::sort(entries->begin(), entries->end(),
              [](const ListedEntry& a, const ListedEntry& b) { return a.path < b.path; });
    return true;
}

std::string TreeListing::Format(const ListedEntry& e)
{
    char head[128];
    std::snprintf(head, sizeof head, "%c %08" PRIx32 " %016" PRIx64 " %016" PRIx64 " %016" PRIx64 " %" PRIu64 " ",
                  e.folder ? 'D' : 'F', e.attributes, e.created, e.accessed, e.written, e.size);
    return head + WideText::ToUtf8(e.path.c_str(), static_cast<int>(e.path.size()));
}

bool TreeListing::Parse(const std::string& line, ListedEntry* e)
{
    char kind = 0;
    uint32_t attributes = 0;
    uint64_t created = 0, accessed = 0, written = 0, size = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "%c %" SCNx32 " %" SCNx64 " %" SCNx64 " %" SCNx64 " %" SCNu64 "%n", &kind,
                    &attributes, &created, &accessed, &written, &size, &used) != 6 ||
        (kind != 'D' && kind != 'F') || used <= 0 || static_cast<size_t>(used) + 1 >= line.size() ||
        line[static_cast<size_t>(used)] != ' ')
        return false; // exactly one blank before the path, which may itself start with one
    e->folder = kind == 'D';
    e->attributes = attributes;
    e->created = created;
    e->accessed = accessed;
    e->written = written;
    e->size = size;
    e->path = WideText::FromUtf8(line.substr(static_cast<size_t>(used) + 1));
    return !e->path.empty();
}
