#include "tests/win/TreeSnapshot.h"

#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"

namespace {

uint64_t Value(const FILETIME& t)
{
    return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

} // namespace

TreeSnapshot::TreeSnapshot(const std::string& folder, const std::set<std::string>& skip)
    : TreeSnapshot(folder, [&skip](const std::string& fullPath, bool) { return skip.count(fullPath) != 0; })
{
}

TreeSnapshot::TreeSnapshot(const std::string& folder, const Filter& leaveOut)
{
    Walk(folder, "", leaveOut);
}

const TreeEntry* TreeSnapshot::Find(const std::string& relative) const
{
    auto it = entries_.find(relative);
    return it == entries_.end() ? nullptr : &it->second;
}

void TreeSnapshot::Walk(const std::string& folder, const std::string& relative, const Filter& leaveOut)
{
    if (folder.empty())
        return; // never the root of the current drive
    testwin::ForEachEntry(folder, [&](const WIN32_FIND_DATAA& data) {
        const std::string name = data.cFileName;
        const std::string full = folder + "\\" + name;
        if (leaveOut(full, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
            return;
        std::string key = relative.empty() ? name : relative + "\\" + name;
        TreeEntry& entry = entries_[key];
        entry.attributes = data.dwFileAttributes;
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.created = Value(data.ftCreationTime);
        entry.accessed = Value(data.ftLastAccessTime);
        entry.written = Value(data.ftLastWriteTime);
        if (entry.folder) {
            // A link is listed, never walked.
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                Walk(full, key, leaveOut);
        } else if (!TestFolder::ReadFile(full, &entry.content)) {
            entry.content = "<unreadable>";
        }
    });
}

std::string TreeSnapshot::ChangesSince(const TreeSnapshot& before) const
{
    std::string changes;
    for (const auto& old : before.entries_) {
        const TreeEntry* now = Find(old.first);
        if (now == nullptr) {
            changes += "removed " + old.first + "\n";
            continue;
        }
        if (now->folder != old.second.folder || now->attributes != old.second.attributes)
            changes += "attributes of " + old.first + "\n";
        if (!now->folder && (now->content != old.second.content || now->written != old.second.written))
            changes += "content of " + old.first + "\n";
    }
    for (const auto& added : entries_) {
        if (before.Find(added.first) == nullptr)
            changes += "added " + added.first + "\n";
    }
    return changes;
}

std::string TreeSnapshot::Listing() const
{
    std::string text;
    for (const auto& entry : entries_)
        text += entry.first + (entry.second.folder ? "\\\n" : "\n");
    return text;
}
