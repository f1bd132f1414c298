#include "tools/SourceTree.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "payload/ArchiveName.h"
#include "support/EscapedUnit.h"
#include "support/RCAnsiStr.h"
#include "tools/HostFolder.h"
#include "tools/NameCodec.h"

constexpr char SourceTree::kTypicalWorkFolder[];
constexpr char SourceTree::kShortestWorkFolder[];

namespace {

bool NameBytesBefore(const SourceEntry& a, const SourceEntry& b)
{
    size_t n = std::min(a.name.size(), b.name.size());
    int c = std::memcmp(a.name.data(), b.name.data(), n);
    return c != 0 ? c < 0 : a.name.size() < b.name.size();
}

} // namespace

bool SourceTree::Scan(const std::string& root)
{
    top_.clear();
    problems_.clear();
    warnings_.clear();
    contentBytes_ = 0;
    files_ = folders_ = nonAscii_ = 0;
    firstNonAscii_.clear();
    firstUtf8Name_.clear();
    if (HostFolder::KindOf(root) != HostEntry::Folder) {
        problems_.push_back(root + ": not a folder");
        return false;
    }
    // Read once (reading moves the folders' last-access times), named
    // after: in code page 932 when every name has its form there, the
    // archive of old; else every name in UTF-8.
    ScanFolder(root, top_);
    utf8Names_ = !firstUtf8Name_.empty();
    NameFolder(top_, std::string());
    return problems_.empty();
}

bool SourceTree::Name(SourceEntry& e)
{
    static const char kUnsafe[] = ": Windows cannot use this name as it stands (a device name such as CON or COM1, a "
                                  "trailing dot or blank, a control character, or one of \\ / : * ? \" < > |)";
    RCAnsiStr form;
    if (utf8Names_) {
        e.name = e.hostName;
        int32_t units = 0;
        if (!EscapedUnit::FromUtf8(e.name.c_str(), form, &units)) {
            problems_.push_back(e.hostPath + ": the name is not valid UTF-8");
            return false;
        }
        if (!DecodeUtf8ArchiveName(e.name.c_str(), form))
            problems_.push_back(e.hostPath + kUnsafe);
        return true;
    }
    if (!IsSafeArchiveName(e.name.c_str()))
        problems_.push_back(e.hostPath + kUnsafe);
    return true;
}

size_t SourceTree::PathLength(const std::string& relative) const
{
    RCAnsiStr form;
    int32_t units = 0;
    if (utf8Names_ && EscapedUnit::FromUtf8(relative.c_str(), form, &units))
        return static_cast<size_t>(units);
    return relative.size();
}

void SourceTree::StoredTimes(FileAttributeRecord& record) const
{
    if (!times_.keepAccessTimes)
        record.lastAccessTime = record.lastWriteTime;
    if (times_.clamp) {
        for (uint64_t* t : {&record.creationTime, &record.lastAccessTime, &record.lastWriteTime}) {
            if (*t > times_.latest)
                *t = times_.latest;
        }
    }
}

void SourceTree::ScanFolder(const std::string& hostPath, std::vector<SourceEntry>& out)
{
    std::vector<HostEntry> listed;
    std::string error;
    if (!HostFolder::List(hostPath, listed, error)) {
        problems_.push_back(error);
        return;
    }
    for (const HostEntry& h : listed) {
        std::string path = HostFolder::Join(hostPath, h.name);
        if (h.kind == HostEntry::Link) {
            problems_.push_back(path + ": a link (links are not followed; put the file or folder itself there)");
            continue;
        }
        if (h.kind == HostEntry::Other) {
            problems_.push_back(path + ": neither a file nor a folder");
            continue;
        }
        SourceEntry e;
        e.hostPath = path;
        e.hostName = h.name;
        e.folder = h.kind == HostEntry::Folder;
        e.size = h.size;
        e.record = h.record;
        StoredTimes(e.record);
        if (!codec_.ToArchive(h.name, e.name) && firstUtf8Name_.empty())
            firstUtf8Name_ = path;
        if (std::any_of(h.name.begin(), h.name.end(), [](char c) { return (c & 0x80) != 0; }) && nonAscii_++ == 0)
            firstNonAscii_ = path;
        if (!e.folder && e.size > kMaxFileSize)
            problems_.push_back(path + ": 2 GiB or larger; the launcher takes files below 2 GiB only");
        if (e.folder) {
            ++folders_;
            ScanFolder(path, e.children);
        } else {
            ++files_;
            contentBytes_ += static_cast<uint64_t>(e.size);
        }
        out.push_back(std::move(e));
    }
}

void SourceTree::NameFolder(std::vector<SourceEntry>& entries, const std::string& archivePath)
{
    // Windows compares names without regard to case: the first name seen
    // under a key, for the message when a second one comes.
    std::map<std::u32string, std::string> seen;
    for (SourceEntry& e : entries) {
        const bool named = Name(e);
        std::u32string key;
        if (named && codec_.FoldKey(e.hostName, key)) {
            auto found = seen.find(key);
            if (found != seen.end())
                problems_.push_back(e.hostPath + ": Windows takes this name and \"" + found->second +
                                    "\" to be the same (case does not count)");
            else
                seen.emplace(key, e.hostName);
        }

        std::string relative = archivePath.empty() ? e.name : archivePath + "\\" + e.name;
        const size_t length = PathLength(relative);
        const char* unit = utf8Names_ ? " UTF-16 units" : " bytes";
        size_t full = sizeof kTypicalWorkFolder - 1 + length;
        size_t limit = (e.folder ? kMaxFolderPath : kMaxPath) - 1;
        size_t shortest = sizeof kShortestWorkFolder - 1 + length;
        if (named && shortest > limit)
            problems_.push_back(e.hostPath + ": the path will be at least " + std::to_string(shortest) + unit +
                                " long on any machine (the shortest work folder takes " +
                                std::to_string(sizeof kShortestWorkFolder - 1) + "); Windows allows " +
                                std::to_string(limit));
        else if (named && full > limit)
            warnings_.push_back(e.hostPath + ": the path will be about " + std::to_string(full) + unit +
                                " long on the user's machine (a typical work folder takes " +
                                std::to_string(sizeof kTypicalWorkFolder - 1) + "); Windows allows " +
                                std::to_string(limit));
        if (e.folder)
            NameFolder(e.children, relative);
    }
    std::sort(entries.begin(), entries.end(), NameBytesBefore);
}
