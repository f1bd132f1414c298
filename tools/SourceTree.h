// SourceTree: the folder that becomes the payload, read whole before a byte
// is written. Each entry carries its archive name, its attributes and
// times, and for folders their content, sorted by the bytes of the archive
// names so that the same tree always gives the same archive. The names are
// in code page 932 when every name of the tree can be written there
// exactly (the archive that builders have always written), else all of
// them in UTF-8 (an archive that says so in its first lines).
//
// Anything the launcher could not unpack as it stands is collected as a
// problem: a name that is not a safe archive name (or, in UTF-8, not valid
// UTF-8), two names that Windows takes to be one, a file of 2 GiB or more,
// a link, anything that is neither file nor folder, a folder that cannot be
// read, a path too long for Windows even under the shortest possible work
// folder. A path that may be too long under a typical work folder is only
// a warning: how long it is on the user's machine depends on the user name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "payload/WorkFolderRecipe.h"
#include "support/FileAttributeRecord.h"

class NameCodec;

struct SourceEntry {
    std::string name;      // archive name: code page 932, or UTF-8 (Utf8Names)
    std::string hostName;  // its name on the host, UTF-8
    std::string hostPath;  // where to read it, UTF-8
    bool folder = false;
    int64_t size = 0;      // files
    FileAttributeRecord record;
    std::vector<SourceEntry> children; // folders
};

// Which times go into the archive. Reading a tree changes the last-access
// times of its files, so by default the last-access time stored is the
// last-write time: two builds of one tree give the same installer. With a
// latest time (SOURCE_DATE_EPOCH), every stored time later than it becomes
// it, as tar's --clamp-mtime does.
struct TimePolicy {
    bool keepAccessTimes = false;
    bool clamp = false;
    uint64_t latest = 0; // FILETIME, when clamp
};

class SourceTree {
public:
    // The size line is a signed 32-bit number for the launcher.
    static constexpr int64_t kMaxFileSize = 0x7FFFFFFF;
    // Windows' path limit (MAX_PATH, terminator included), and the shorter
    // one for a folder, which must leave room for an 8.3 name in it. A
    // path counts in bytes of code page 932, or with UTF-8 names in UTF-16
    // units (the launcher then gives every path to the wide functions).
    static constexpr size_t kMaxPath = 260;
    static constexpr size_t kMaxFolderPath = 248;
    // A long typical work folder, trailing backslash included: the user
    // name takes 20 characters, the older, longer profile folder is used.
    static constexpr char kTypicalWorkFolder[] =
        "C:\\Documents and Settings\\uuuuuuuuuuuuuuuuuuuu\\Application Data\\" QM_WORK_FOLDER_BELOW("XXXXXXXX");
    // The shortest work folder there can be: the application-data folder at
    // the root of a drive. A path too long even under it is refused.
    static constexpr char kShortestWorkFolder[] = "C:\\" QM_WORK_FOLDER_BELOW("XXXXXXXX");

    explicit SourceTree(NameCodec& codec, const TimePolicy& times = TimePolicy()) : codec_(codec), times_(times) {}

    // False when the root is not a folder or anything in it was refused.
    bool Scan(const std::string& root);

    const std::vector<SourceEntry>& Top() const { return top_; }
    // Whether the names are UTF-8 (some name has no form in code page 932),
    // and then the first such name (host path).
    bool Utf8Names() const { return utf8Names_; }
    const std::string& FirstUtf8Name() const { return firstUtf8Name_; }
    const std::vector<std::string>& Problems() const { return problems_; }
    const std::vector<std::string>& Warnings() const { return warnings_; }
    uint64_t ContentBytes() const { return contentBytes_; }
    uint32_t FileCount() const { return files_; }
    uint32_t FolderCount() const { return folders_; }
    // How many names are not plain ASCII, and the first of them (host path).
    uint32_t NonAsciiNames() const { return nonAscii_; }
    const std::string& FirstNonAsciiName() const { return firstNonAscii_; }

private:
    // Reads a folder's entries, and those of its folders, with all that
    // their names do not decide.
    void ScanFolder(const std::string& hostPath, std::vector<SourceEntry>& out);
    // Names a folder's entries (and those of its folders) in the archive's
    // encoding, checks the names, their clashes and the paths' lengths,
    // and sorts them.
    void NameFolder(std::vector<SourceEntry>& entries, const std::string& archivePath);
    // Gives an entry its archive name; false when it has none (not UTF-8).
    // A name that is not safe is a problem, but a name all the same.
    bool Name(SourceEntry& e);
    // A path's length as Windows will count it.
    size_t PathLength(const std::string& relative) const;

    void StoredTimes(FileAttributeRecord& record) const;

    NameCodec& codec_;
    TimePolicy times_;
    std::vector<SourceEntry> top_;
    std::vector<std::string> problems_;
    std::vector<std::string> warnings_;
    uint64_t contentBytes_ = 0;
    uint32_t files_ = 0;
    uint32_t folders_ = 0;
    uint32_t nonAscii_ = 0;
    std::string firstNonAscii_;
    bool utf8Names_ = false;
    std::string firstUtf8Name_; // the first name without a form in code page 932
};
