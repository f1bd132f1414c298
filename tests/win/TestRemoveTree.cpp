// RCDirectory::RemoveTree against the real Windows functions (under Wine in
// CI). Every tree lies in a scratch folder of its own on C:, and every
// removal goes through Remove() below, which refuses any folder outside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/FileSystem.h"
#include "support/RCDirectory.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"

using testwin::Attributes;
using testwin::Exists;

using testkit::kHyo;
using testkit::kSo;

namespace {


bool StartsWith(const std::string& text, const std::string& head)
{
    return text.compare(0, head.size(), head) == 0;
}

// Records every hook call; answers can be turned to false by path.
class Recorder : public RCDirectory {
public:
    bool OnBegin(const char* folder) override
    {
        calls.push_back(std::string("begin ") + folder);
        return true;
    }
    bool OnFile(const char* path) override
    {
        calls.push_back(std::string("file ") + path);
        if (onFile)
            onFile(path);
        depthAtFile.push_back(Depth());
        return refuseFiles.count(path) == 0;
    }
    bool OnFileDone(const char* path, bool deleted) override
    {
        calls.push_back(std::string(deleted ? "deleted " : "kept ") + path);
        return stopAfterFilesIn.empty() || !StartsWith(path, stopAfterFilesIn);
    }
    bool OnDirectory(const char* path) override
    {
        calls.push_back(std::string("folder ") + path);
        return refuseFolders.count(path) == 0;
    }
    bool OnEnd(const char* folder) override
    {
        calls.push_back(std::string("end ") + folder);
        return true;
    }

    int Count(const std::string& head) const
    {
        int n = 0;
        for (const std::string& call : calls)
            n += StartsWith(call, head) ? 1 : 0;
        return n;
    }

    std::vector<std::string> calls;
    std::vector<int32_t> depthAtFile;
    std::set<std::string> refuseFiles;
    std::set<std::string> refuseFolders;
    std::string stopAfterFilesIn;
    // Runs before each file's deletion (to change the disk in the middle of the walk).
    std::function<void(const std::string&)> onFile;
};

// The only way these tests remove anything: the folder must lie inside the
// scratch folder (which itself lies in C:\qmtest).
bool Remove(RCDirectory& directory, const TestFolder& scratch, const std::string& folder, bool keepTop = false,
            bool skipFiles = false)
{
    if (!StartsWith(scratch.Path(), "C:\\qmtest\\") || !StartsWith(folder, scratch.Path() + "\\") ||
        folder.find("..") != std::string::npos) {
        ADD_FAILURE() << "refused to remove " << folder;
        return false;
    }
    return directory.RemoveTree(folder.c_str(), keepTop, skipFiles);
}

// Files (name, attributes) and folders (name ending in "\", attributes) of a
// fixture tree, made in this order.
struct Entry {
    std::string name;
    DWORD attributes;
};

void Make(const TestFolder& scratch, const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        std::string path = scratch.Join(e.name);
        if (e.name.back() == '\\') {
            path.pop_back();
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        } else {
            ASSERT_TRUE(scratch.WriteFile(e.name, "content")) << path;
        }
        if (e.attributes != 0) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), e.attributes)) << path;
        }
    }
}

const DWORD kRO = FILE_ATTRIBUTE_READONLY;
const DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
const DWORD kSystem = FILE_ATTRIBUTE_SYSTEM;

// A link made for one test and removed at its end (before the scratch folder
// goes: a link made on Wine's Linux side cannot be removed from Windows).
class FolderLink {
public:
    FolderLink(const TestFolder& scratch, const std::string& link, const std::string& target)
        : scratch_(scratch), link_(link)
    {
        made_ = testwin::MakeFolderLink(scratch.Path(), link, target, &how_);
    }
    ~FolderLink() { EXPECT_TRUE(testwin::RemoveFolderLink(scratch_.Path(), link_)); }
    bool Made() const { return made_; }
    const std::string& How() const { return how_; }

private:
    const TestFolder& scratch_;
    std::string link_;
    std::string how_;
    bool made_ = false;
};

} // namespace

TEST(RemoveTree, NestedTreeWithMarkedEntries)
{
    TestFolder scratch("tree");
    std::string top = scratch.Join("top");
    Make(scratch, {
                      {"top\\", 0},
                      {"top\\ro.txt", kRO},
                      {"top\\hidden.txt", kHidden},
                      {"top\\all.txt", kRO | kHidden | kSystem},
                      {"top\\sub\\", 0},
                      {"top\\sub\\deep\\", kRO | kHidden | kSystem},
                      {"top\\sub\\deep\\b.txt", kRO},
                      {"top\\sub\\empty\\", kRO | kHidden},
                      {std::string("top\\") + kHyo + "\\", kHidden},
                      {std::string("top\\") + kHyo + "\\" + kSo + ".txt", kRO},
                      {std::string("top\\") + kSo + kHyo + "\\", kRO},
                  });
    Recorder recorder;
    EXPECT_TRUE(Remove(recorder, scratch, top));
    EXPECT_FALSE(Exists(top));
    EXPECT_EQ(recorder.Depth(), 0);

    ASSERT_FALSE(recorder.calls.empty());
    EXPECT_EQ(recorder.calls.front(), "begin " + top);
    EXPECT_EQ(recorder.calls.back(), "end " + top);
    EXPECT_EQ(recorder.Count("begin "), 1);
    EXPECT_EQ(recorder.Count("end "), 1);
    EXPECT_EQ(recorder.Count("file "), 5);
    EXPECT_EQ(recorder.Count("deleted "), 5);
    EXPECT_EQ(recorder.Count("folder "), 5);
    std::set<int32_t> depths(recorder.depthAtFile.begin(), recorder.depthAtFile.end());
    EXPECT_EQ(depths, (std::set<int32_t>{1, 2, 3}));
}

TEST(RemoveTree, TopFolderCases)
{
    TestFolder scratch("toptext");
    Make(scratch, {{"slash\\", 0}, {"slash\\a\\", 0}, {"slash\\a\\b.txt", 0}, {"empty\\", 0}, {"keep\\", 0},
                   {"keep\\a.txt", 0}});
    {
        // A trailing separator: the entries' paths get a doubled one.
        RCDirectory directory;
        EXPECT_TRUE(Remove(directory, scratch, scratch.Join("slash\\")));
        EXPECT_FALSE(Exists(scratch.Join("slash")));
    }
    {
        // An empty folder: no OnBegin, but OnEnd.
        Recorder recorder;
        EXPECT_TRUE(Remove(recorder, scratch, scratch.Join("empty")));
        EXPECT_EQ(recorder.calls, std::vector<std::string>{"end " + scratch.Join("empty")});
    }
    {
        Recorder recorder;
        EXPECT_TRUE(Remove(recorder, scratch, scratch.Join("keep"), true));
        EXPECT_TRUE(Exists(scratch.Join("keep")));
        EXPECT_FALSE(Exists(scratch.Join("keep\\a.txt")));
    }
    {
        // A missing folder: false, and only OnEnd; kept on request: true.
        Recorder recorder;
        EXPECT_FALSE(Remove(recorder, scratch, scratch.Join("missing")));
        EXPECT_EQ(recorder.calls, std::vector<std::string>{"end " + scratch.Join("missing")});
        EXPECT_TRUE(Remove(recorder, scratch, scratch.Join("missing"), true));
        EXPECT_EQ(recorder.Depth(), 0);
    }
    {
        // An empty text never lists the root of the current drive.
        Recorder recorder;
        EXPECT_FALSE(recorder.RemoveTree("", false, false));
        EXPECT_FALSE(recorder.RemoveTree(nullptr, false, false));
        EXPECT_EQ(recorder.Count("begin "), 0);
        EXPECT_EQ(recorder.Count("file "), 0);
    }
}

TEST(RemoveTree, SkipFilesRemovesOnlyEmptyFolders)
{
    TestFolder scratch("skip");
    std::string top = scratch.Join("top");
    Make(scratch, {{"top\\", 0}, {"top\\a.txt", 0}, {"top\\sub\\", 0}, {"top\\sub\\b.txt", 0},
                   {"top\\empty\\", 0}, {"top\\empty\\inner\\", 0}});
    Recorder recorder;
    EXPECT_FALSE(Remove(recorder, scratch, top, false, true));
    EXPECT_TRUE(Exists(top + "\\a.txt"));
    EXPECT_TRUE(Exists(top + "\\sub\\b.txt"));
    EXPECT_FALSE(Exists(top + "\\empty"));
    EXPECT_EQ(recorder.Count("file "), 0);
}

TEST(RemoveTree, HooksDecline)
{
    TestFolder scratch("hooks");
    std::string top = scratch.Join("top");
    Make(scratch, {{"top\\", 0},
                   {"top\\refused.txt", 0},
                   {"top\\other.txt", 0},
                   {"top\\left\\", 0},
                   {"top\\left\\a.txt", 0},
                   {"top\\stop\\", 0},
                   {"top\\stop\\1.txt", 0},
                   {"top\\stop\\2.txt", 0},
                   {"top\\stop\\3.txt", 0},
                   {"top\\after\\", 0},
                   {"top\\after\\x.txt", 0}});
    Recorder recorder;
    recorder.refuseFiles.insert(top + "\\refused.txt");
    recorder.refuseFolders.insert(top + "\\left");
    // A false from OnFileDone ends the walk of that folder only.
    recorder.stopAfterFilesIn = top + "\\stop\\";
    EXPECT_FALSE(Remove(recorder, scratch, top));

    EXPECT_TRUE(Exists(top + "\\refused.txt"));
    EXPECT_FALSE(Exists(top + "\\other.txt"));
    EXPECT_TRUE(Exists(top + "\\left\\a.txt"));   // never entered
    EXPECT_EQ(recorder.Count("file " + top + "\\left"), 0);
    EXPECT_EQ(recorder.Count("file " + top + "\\stop\\"), 1);
    EXPECT_EQ(recorder.Count("deleted " + top + "\\stop\\"), 1);
    int left = 0;
    for (const char* name : {"1.txt", "2.txt", "3.txt"})
        left += Exists(top + "\\stop\\" + name) ? 1 : 0;
    EXPECT_EQ(left, 2);
    EXPECT_FALSE(Exists(top + "\\after"));   // the walk of top went on
    EXPECT_EQ(recorder.calls.back(), "end " + top);
    EXPECT_EQ(recorder.Depth(), 0);
}

// A file open elsewhere without leave to delete it cannot be deleted: it
// stays with its folder and that folder's parents; the rest goes.
TEST(RemoveTree, FileOpenElsewhere)
{
    TestFolder scratch("open");
    std::string top = scratch.Join("top");
    Make(scratch, {{"top\\", 0}, {"top\\y.txt", 0}, {"top\\keep\\", 0}, {"top\\keep\\deeper\\", 0},
                   {"top\\keep\\deeper\\open.txt", 0}, {"top\\keep\\deeper\\z.txt", 0}, {"top\\other\\", 0},
                   {"top\\other\\x.txt", 0}});
    std::string open = top + "\\keep\\deeper\\open.txt";
    HANDLE handle = CreateFileA(open.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    Recorder recorder;
    EXPECT_FALSE(Remove(recorder, scratch, top));
    CloseHandle(handle);

    EXPECT_TRUE(Exists(open));
    EXPECT_EQ(recorder.Count("kept " + open), 1);
    EXPECT_FALSE(Exists(top + "\\keep\\deeper\\z.txt"));
    EXPECT_FALSE(Exists(top + "\\other"));
    EXPECT_FALSE(Exists(top + "\\y.txt"));
    // Closed now: a second removal takes the rest.
    RCDirectory directory;
    EXPECT_TRUE(Remove(directory, scratch, top));
    EXPECT_FALSE(Exists(top));
}

// Open with leave to delete: the deletion succeeds but is pending until the
// handle is closed. While it is pending the name stays, so on Wine (and on
// Windows without POSIX delete semantics) the folders above it stay too.
TEST(RemoveTree, FileOpenWithLeaveToDelete)
{
    TestFolder scratch("pending");
    std::string top = scratch.Join("top");
    Make(scratch, {{"top\\", 0}, {"top\\sub\\", 0}, {"top\\sub\\open.txt", 0}});
    std::string open = top + "\\sub\\open.txt";
    HANDLE handle = CreateFileA(open.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    Recorder recorder;
    bool removed = Remove(recorder, scratch, top);
    EXPECT_EQ(recorder.Count("deleted " + open), 1);
    EXPECT_EQ(removed, !Exists(top));
    if (testwin::IsWine()) {
        EXPECT_FALSE(removed);
        EXPECT_TRUE(Exists(top + "\\sub"));
    }
    CloseHandle(handle);
    EXPECT_FALSE(Exists(open));
}

// What the walk does with each kind of entry: a folder that is a reparse
// point (junction or symbolic link) is removed as a link, never walked.
TEST(RemoveTree, ActionForEntry)
{
    struct Case {
        uint32_t access;
        uint32_t attributes;
        RCDirectory::EntryAction expected;
    } cases[] = {
        {27, FILE_ATTRIBUTE_DIRECTORY, RCDirectory::kDescend},
        {19, FILE_ATTRIBUTE_DIRECTORY | kHidden, RCDirectory::kDescend},
        {27, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, RCDirectory::kRemoveLink},
        {26, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | kRO, RCDirectory::kRemoveLink},
        {11, FILE_ATTRIBUTE_ARCHIVE, RCDirectory::kDeleteFile},
        {11, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, RCDirectory::kDeleteFile},
    };
    for (const Case& c : cases) {
        ___RSFILEINFO entry;
        entry.access = c.access;
        entry.attributes = c.attributes;
        EXPECT_EQ(RCDirectory::ActionFor(entry), c.expected) << std::hex << c.attributes;
    }
}

// A link inside the tree to a folder outside it: the removal never reaches
// the target. (Both lie in the scratch folder, so even a wrong walk could
// only ever delete scratch\victim\keep.txt.) On Wine the link is made on the
// Linux side, where RemoveDirectoryA cannot remove it: the tree then stays
// with the link in it and RemoveTree answers false.
TEST(RemoveTree, LinkInsideTreeIsNotWalked)
{
    TestFolder scratch("link");
    Make(scratch, {{"victim\\", 0}, {"victim\\keep.txt", 0}, {"tree\\", 0}, {"tree\\real\\", 0},
                   {"tree\\real\\f.txt", 0}});
    std::string tree = scratch.Join("tree");
    std::string link = tree + "\\link";
    FolderLink made(scratch, link, scratch.Join("victim"));
    if (!made.Made())
        GTEST_SKIP() << "no way to make a folder link here";
    ASSERT_EQ(Attributes(link) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        << made.How();
    ASSERT_TRUE(Exists(link + "\\keep.txt"));   // the link leads to the victim

    Recorder recorder;
    bool removed = Remove(recorder, scratch, tree);
    EXPECT_TRUE(Exists(scratch.Join("victim\\keep.txt"))) << made.How();
    EXPECT_EQ(recorder.Count("file " + link), 0);
    EXPECT_EQ(recorder.Count("folder " + link), 1);
    EXPECT_FALSE(Exists(tree + "\\real"));
    EXPECT_EQ(removed, !Exists(tree));
    if (made.How() == "a Linux-side link") {
        EXPECT_FALSE(removed);
        EXPECT_TRUE(Exists(link));
    }
}

// The top folder itself is a link: it is not walked either.
TEST(RemoveTree, TopFolderLinkIsNotWalked)
{
    TestFolder scratch("toplink");
    Make(scratch, {{"victim\\", 0}, {"victim\\keep.txt", 0}, {"victim\\sub\\", 0}, {"victim\\sub\\s.txt", 0}});
    std::string link = scratch.Join("link");
    FolderLink made(scratch, link, scratch.Join("victim"));
    if (!made.Made())
        GTEST_SKIP() << "no way to make a folder link here";

    Recorder recorder;
    EXPECT_TRUE(Remove(recorder, scratch, link, true));
    bool removed = Remove(recorder, scratch, link);
    EXPECT_TRUE(Exists(scratch.Join("victim\\keep.txt")));
    EXPECT_TRUE(Exists(scratch.Join("victim\\sub\\s.txt")));
    EXPECT_EQ(recorder.Count("begin "), 0);
    EXPECT_EQ(recorder.Count("file "), 0);
    EXPECT_EQ(recorder.Count("end "), 2);
    EXPECT_EQ(removed, !Exists(link));
}

// Another process swaps a folder for a link to a folder outside the tree
// after the folder was checked and while its content is being deleted (here
// just before the deletion of its first file). The folder is held while it
// is walked: the swap is refused, and nothing outside the tree goes.
TEST(RemoveTree, AFolderSwappedForALinkDuringItsWalkIsNotFollowed)
{
    TestFolder scratch("swap");
    Make(scratch, {{"victim\\", 0}, {"victim\\a.txt", 0}, {"victim\\b.txt", 0}, {"tree\\", 0},
                   {"tree\\sub\\", 0}, {"tree\\sub\\a.txt", 0}, {"tree\\sub\\b.txt", 0}});
    const std::string tree = scratch.Join("tree");
    const std::string sub = tree + "\\sub";
    Recorder recorder;
    bool tried = false;
    bool swapped = false;
    std::string how;
    recorder.onFile = [&](const std::string& path) {
        if (tried || !StartsWith(path, sub + "\\"))
            return;
        tried = true;
        swapped = MoveFileA(sub.c_str(), scratch.Join("moved").c_str()) &&
                  testwin::MakeFolderLink(scratch.Path(), sub, scratch.Join("victim"), &how);
    };
    const bool removed = Remove(recorder, scratch, tree);
    if (swapped) {
        EXPECT_TRUE(testwin::RemoveFolderLink(scratch.Path(), sub));
    }
    EXPECT_TRUE(tried);
    EXPECT_FALSE(swapped) << "the folder was swapped while it was walked (" << how << ")";
    EXPECT_TRUE(Exists(scratch.Join("victim\\a.txt")));
    EXPECT_TRUE(Exists(scratch.Join("victim\\b.txt")));
    EXPECT_TRUE(removed);
    EXPECT_FALSE(Exists(tree));
}

// A file link inside the tree, to a read-only file outside it: the link is
// deleted as a link; the target keeps its content and its read-only
// attribute. Wine shows a link made on the Linux side as a plain file and
// deletes its target through it, which no Windows program can tell: there
// the test is skipped.
TEST(RemoveTree, FileLinkIsDeletedAsALink)
{
    TestFolder scratch("filelink");
    Make(scratch, {{"victim\\", 0}, {"victim\\keep.txt", kRO}, {"tree\\", 0}});
    const std::string tree = scratch.Join("tree");
    const std::string link = tree + "\\link.txt";
    std::string how;
    if (!testwin::MakeFileLink(scratch.Path(), link, scratch.Join("victim\\keep.txt"), &how))
        GTEST_SKIP() << "no way to make a file link here";
    if (how == "a Linux-side link") {
        EXPECT_TRUE(testwin::RemoveFolderLink(scratch.Path(), link));
        GTEST_SKIP() << "Wine cannot tell a file link from a file";
    }
    Recorder recorder;
    EXPECT_TRUE(Remove(recorder, scratch, tree));
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(Attributes(scratch.Join("victim\\keep.txt")) & FILE_ATTRIBUTE_READONLY, kRO);
    std::string content;
    EXPECT_TRUE(TestFolder::ReadFile(scratch.Join("victim\\keep.txt"), &content));
    EXPECT_EQ(content, "content");
    SetFileAttributesA(scratch.Join("victim\\keep.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}
