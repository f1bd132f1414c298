// A snapshot of a folder tree for tests: every folder and file below a
// folder with its attributes, times and (for files) content, keyed by the
// path relative to that folder (Shift-JIS bytes, backslash separators).
// Uses the plain Windows calls, not the code under test.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

struct TreeEntry {
    bool folder = false;
    DWORD attributes = 0;
    std::string content;   // files only
    uint64_t created = 0;
    uint64_t accessed = 0;
    uint64_t written = 0;
};

class TreeSnapshot {
public:
    // Answers true for an entry (full path, folder or not) that is left
    // out with everything below it; asked while the tree is walked.
    using Filter = std::function<bool(const std::string& fullPath, bool folder)>;

    TreeSnapshot() = default;
    // Everything below folder, leaving out the full paths in skip and what
    // lies below them. A missing folder (or an empty text) gives an empty
    // snapshot.
    explicit TreeSnapshot(const std::string& folder, const std::set<std::string>& skip = {});
    TreeSnapshot(const std::string& folder, const Filter& leaveOut);

    const std::map<std::string, TreeEntry>& Entries() const { return entries_; }
    const TreeEntry* Find(const std::string& relative) const;

    // The differences to an earlier snapshot, one line each, or empty when
    // there is none. Compared: which entries exist, whether each is a
    // folder, attributes, and for files content and last-write time.
    // (Folder times change whenever an entry inside is added or removed.)
    std::string ChangesSince(const TreeSnapshot& before) const;

    // The relative paths, one a line, "\" after folders.
    std::string Listing() const;

private:
    void Walk(const std::string& folder, const std::string& relative, const Filter& leaveOut);

    std::map<std::string, TreeEntry> entries_;
};
