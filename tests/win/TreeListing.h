// What a folder tree looks like to Windows: every file and folder below a
// root with its attributes, three times and size, as one sorted list. The
// round-trip test takes one of the source tree, and the tree-copy fixture
// takes one of the work folder and writes it down as text.
//
// Each entry's data comes from its parent's listing, taken before the entry
// itself is listed or read: listing a folder or reading a file may move its
// last-access time.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ListedEntry {
    bool folder = false;
    uint32_t attributes = 0;
    uint64_t created = 0;  // FILETIME ticks
    uint64_t accessed = 0;
    uint64_t written = 0;
    uint64_t size = 0;     // 0 for a folder
    std::wstring path;     // relative to the root, "\" between components

    bool operator==(const ListedEntry& other) const;
};

class TreeListing {
public:
    // The entries below root (not root itself), sorted by path; false when
    // a folder cannot be listed. Links are listed, never followed.
    static bool Take(const std::wstring& root, std::vector<ListedEntry>* entries);

    // One line (UTF-8, no line end) and back; Parse is false on a line
    // that Format did not write.
    static std::string Format(const ListedEntry& entry);
    static bool Parse(const std::string& line, ListedEntry* entry);
};
