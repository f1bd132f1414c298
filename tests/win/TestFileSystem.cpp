// The file-system operations against the real Windows functions (under
// Wine in CI). Every test works in a scratch folder of its own on C:.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/FileSystem.h"
#include "support/RCPath.h"
#include "support/WindowsVersion.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"

using testwin::Attributes;
using testwin::Exists;
using testwin::IsFolder;

using testkit::Record;
using testkit::kHyo;
using testkit::kSo;

namespace {


const ___RSFILEINFO* Find(const RCList<___RSFILEINFO>& list, const std::string& name)
{
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (name == list.Item(i)->name.Text())
            return list.Item(i);
    }
    return nullptr;
}

// Sets or removes an environment variable for the length of a test.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : name_(name)
    {
        char old[4096];
        DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        if (had_)
            old_ = old;
        SetEnvironmentVariableA(name, value);
    }
    ~EnvironmentValue() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

// Whether this program imports a DLL of that name, directly or delay-loaded.
bool ImportsDll(const char* dll)
{
    const uint8_t* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress != 0) {
        for (const IMAGE_IMPORT_DESCRIPTOR* d =
                 reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             d->Name != 0; ++d) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) == 0)
                return true;
        }
    }
    const IMAGE_DATA_DIRECTORY& delayed = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    if (delayed.VirtualAddress != 0) {
        for (const IMAGE_DELAYLOAD_DESCRIPTOR* d =
                 reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(base + delayed.VirtualAddress);
             d->DllNameRVA != 0; ++d) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + d->DllNameRVA), dll) == 0)
                return true;
        }
    }
    return false;
}

std::string SystemFile(const char* name)
{
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "";
    return std::string(folder) + "\\" + name;
}

bool LooksLikeVersion(const char* text)
{
    unsigned a, b, c, d;
    char rest;
    return std::sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &rest) == 4;
}

} // namespace

TEST(PathExists, Cases)
{
    TestFolder scratch("exists");
    ASSERT_TRUE(scratch.WriteFile("file.txt", "x"));
    ASSERT_TRUE(scratch.WriteFile(std::string(kHyo) + "\\" + kSo + ".txt", "x"));
    std::string drive = testwin::FreeDrive();
    ASSERT_FALSE(drive.empty());

    struct Case {
        std::string path;
        bool directoryRequired;
        bool expected;
    } cases[] = {
        {scratch.Path(), true, true},
        {scratch.Path() + "\\", true, true},
        {scratch.Join("file.txt"), false, true},
        {scratch.Join("file.txt"), true, false},   // a file is no folder
        {scratch.Join("missing"), false, false},
        {scratch.Join("missing\\..\\file.txt"), false, true},
        {scratch.Join(".\\file.txt"), true, false},
        {scratch.Join(kHyo), true, true},
        {scratch.Join(std::string(kHyo) + "\\" + kSo + ".txt"), false, true},
        {"C:", true, true},   // a drive: its type only
        {"C:\\", false, true},
        {drive, false, false},   // a drive that does not exist
        {drive + "\\", true, false},
        {drive + "\\a", false, false},
        {"\\\\server", false, false},   // a bare server name, never asked for
        {"\\\\server\\", true, false},
        {"", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathExists(c.path.c_str(), c.directoryRequired), c.expected) << c.path << " " << c.directoryRequired;
    EXPECT_FALSE(PathExists(nullptr, false));
}

TEST(EntryExists, Cases)
{
    TestFolder scratch("entry");
    ASSERT_TRUE(scratch.WriteFile("sub\\a.txt", "x"));
    struct Case {
        std::string path;
        bool fileRequired;
        bool expected;
    } cases[] = {
        {scratch.Join("sub\\a.txt"), true, true},
        {scratch.Join("sub"), false, true},
        {scratch.Join("sub"), true, false},   // a folder is no file
        {scratch.Join("sub\\*.txt"), true, true},
        {scratch.Join("sub\\*.none"), false, false},
        {scratch.Join("missing"), false, false},
        {"", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EntryExists(c.path.c_str(), c.fileRequired), c.expected) << c.path << " " << c.fileRequired;
    EXPECT_FALSE(EntryExists(nullptr, false));
}

TEST(CreateDirectoryTree, CreatesEveryMissingLevel)
{
    TestFolder scratch("mkdir");
    EXPECT_TRUE(CreateDirectoryTree(scratch.Join("a\\b\\c").c_str()));
    EXPECT_TRUE(IsFolder(scratch.Join("a\\b\\c")));
    // Once more: every level exists, every creation fails harmlessly.
    EXPECT_TRUE(CreateDirectoryTree(scratch.Join("a\\b\\c").c_str()));
    // A trailing separator.
    EXPECT_TRUE(CreateDirectoryTree(scratch.Join("d\\e\\").c_str()));
    EXPECT_TRUE(IsFolder(scratch.Join("d\\e")));
}

TEST(CreateDirectoryTree, ShiftJisNamesEndingIn5C)
{
    TestFolder scratch("mkdirsjis");
    // 表\ソ表\ソ: every name ends in 0x5C, none of them is a separator.
    std::string relative = std::string(kHyo) + "\\" + kSo + kHyo + "\\" + kSo;
    EXPECT_TRUE(CreateDirectoryTree(scratch.Join(relative).c_str()));
    EXPECT_TRUE(IsFolder(scratch.Join(relative)));
    // Splitting at the trail bytes would have made folders named 0x95 and
    // 0x83: the scratch folder holds 表 alone.
    RCList<___RSFILEINFO> list;
    ASSERT_TRUE(ListDirectory(scratch.Path().c_str(), list, false));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_STREQ(list.Item(0)->name.Text(), kHyo.c_str());
}

TEST(CreateDirectoryTree, FailsAndStops)
{
    TestFolder scratch("mkdirfail");
    ASSERT_TRUE(scratch.WriteFile("file", "x"));
    std::string drive = testwin::FreeDrive();
    ASSERT_FALSE(drive.empty());

    EXPECT_FALSE(CreateDirectoryTree(scratch.Join("file").c_str()));   // names a file
    EXPECT_FALSE(CreateDirectoryTree(scratch.Join("file\\sub").c_str()));
    EXPECT_FALSE(CreateDirectoryTree((drive + "\\a\\b").c_str()));
    EXPECT_FALSE(CreateDirectoryTree(""));
    EXPECT_FALSE(CreateDirectoryTree(nullptr));
    // A drive alone: nothing to make or test.
    EXPECT_TRUE(CreateDirectoryTree("C:"));
    EXPECT_TRUE(CreateDirectoryTree("C:\\"));
}

TEST(CreateDirectoryTree, DoubledSeparatorEndsLevelByLevelCreation)
{
    TestFolder scratch("mkdirdouble");
    // x is made; the rest, \y\z, goes in one call whose parent is missing.
    EXPECT_FALSE(CreateDirectoryTree(scratch.Join("x\\\\y\\z").c_str()));
    EXPECT_TRUE(IsFolder(scratch.Join("x")));
    EXPECT_FALSE(Exists(scratch.Join("x\\y")));
    // With the parent there, the one call succeeds.
    ASSERT_TRUE(CreateDirectoryA(scratch.Join("x\\y").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryTree(scratch.Join("x\\\\y\\z").c_str()));
    EXPECT_TRUE(IsFolder(scratch.Join("x\\y\\z")));
}

// Relative texts are taken against the program's own folder, never the
// current one: a copy of this program in scratch\bin runs the child test
// below with the current folder set to scratch.
TEST(RelativePaths, TakenAgainstTheProgramsOwnFolder)
{
    TestFolder scratch("relative");
    ASSERT_TRUE(CreateDirectoryA(scratch.Join("bin").c_str(), nullptr));
    EXPECT_EQ(testwin::RunCopyOfSelf(scratch.Join("bin\\fsrel.exe"), "Child.DISABLED_RelativePaths",
                                     scratch.Path()),
              0);
    EXPECT_TRUE(IsFolder(scratch.Join("bin\\sub\\dir")));
    EXPECT_TRUE(IsFolder(scratch.Join(std::string("bin\\") + kHyo)));
    EXPECT_FALSE(Exists(scratch.Join("sub")));
}

TEST(Child, DISABLED_RelativePaths)
{
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    // Only ever as a copy inside a scratch folder.
    ASSERT_EQ(std::strncmp(self, "C:\\qmtest\\", 10), 0) << self;
    EXPECT_TRUE(CreateDirectoryTree("sub\\dir"));
    EXPECT_TRUE(PathExists("sub\\dir", true));
    EXPECT_TRUE(PathExists("sub\\..\\sub\\.\\dir", true));
    EXPECT_FALSE(PathExists("nothing", false));
    EXPECT_TRUE(CreateDirectoryTree(kHyo.c_str()));
    EXPECT_TRUE(PathExists(kHyo.c_str(), true));
}

TEST(DeleteFileRetry, ReadOnlyFile)
{
    TestFolder scratch("delete");
    std::string file = scratch.Join("ro.txt");
    ASSERT_TRUE(scratch.WriteFile("ro.txt", "x"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    EXPECT_FALSE(DeleteFileRetry(file.c_str(), false));
    EXPECT_TRUE(Attributes(file) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFileRetry(file.c_str(), true));
    EXPECT_FALSE(Exists(file));

    EXPECT_FALSE(DeleteFileRetry(file.c_str(), true));   // missing now
    EXPECT_FALSE(DeleteFileRetry(nullptr, true));
}

TEST(DeleteFileRetry, KeepsReadOnlyWhenTheSecondTryFails)
{
    TestFolder scratch("deleteopen");
    std::string file = scratch.Join("open.txt");
    ASSERT_TRUE(scratch.WriteFile("open.txt", "x"));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    // Open elsewhere, without leave to delete it.
    HANDLE open = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileRetry(file.c_str(), true));
    EXPECT_TRUE(Attributes(file) & FILE_ATTRIBUTE_READONLY);
    CloseHandle(open);
    EXPECT_TRUE(DeleteFileRetry(file.c_str(), true));
}

TEST(RemoveDirectoryRetry, EmptyNonEmptyAndMarkedFolders)
{
    TestFolder scratch("rmdir");
    std::string full = scratch.Join("full");
    ASSERT_TRUE(scratch.WriteFile("full\\a.txt", "x"));
    const DWORD marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA(full.c_str(), marks | FILE_ATTRIBUTE_READONLY));
    DWORD before = Attributes(full);
    // Not empty: both tries fail and the attributes are as they were.
    EXPECT_FALSE(RemoveDirectoryRetry(full.c_str(), true));
    EXPECT_EQ(Attributes(full), before);

    std::string empty = scratch.Join("empty");
    ASSERT_TRUE(CreateDirectoryA(empty.c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesA(empty.c_str(), marks | FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(RemoveDirectoryRetry(empty.c_str(), true));
    EXPECT_FALSE(Exists(empty));
    EXPECT_FALSE(RemoveDirectoryRetry(empty.c_str(), true));
}

TEST(ListDirectory, EntriesFlagsSizesAndTimes)
{
    TestFolder scratch("list");
    ASSERT_TRUE(scratch.WriteFile("five.txt", "12345"));
    ASSERT_TRUE(scratch.WriteFile("ro.txt", ""));
    ASSERT_TRUE(scratch.WriteFile("hidden.txt", ""));
    ASSERT_TRUE(CreateDirectoryA(scratch.Join("sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(scratch.Join("hsub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(scratch.Join(kHyo).c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesA(scratch.Join("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesA(scratch.Join("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA(scratch.Join("hsub").c_str(), FILE_ATTRIBUTE_HIDDEN));
    uint64_t created = testwin::FileTimeOf(2001, 2, 3, 4, 5, 6);
    uint64_t accessed = testwin::FileTimeOf(2002, 3, 4, 5, 6, 7);
    uint64_t written = testwin::FileTimeOf(2003, 4, 5, 6, 7, 8, 9999999);
    ASSERT_TRUE(ApplyFileRecord(scratch.Join("five.txt").c_str(), Record(0x20, created, accessed, written)));

    RCList<___RSFILEINFO> list;
    list.Add(new ___RSFILEINFO);   // left over from before: cleared
    ASSERT_TRUE(ListDirectory(scratch.Path().c_str(), list, false));
    ASSERT_EQ(list.Count(), 6);

    struct Case {
        std::string name;
        uint32_t access;
    } cases[] = {
        {"five.txt", 11},
        {"ro.txt", 10},
        {"hidden.txt", 3},
        {"sub", 27},
        {"hsub", 19},
        {kHyo, 27},
    };
    for (const Case& c : cases) {
        const ___RSFILEINFO* entry = Find(list, c.name);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->access, c.access) << c.name;
        EXPECT_EQ(std::string(entry->fullPath.Text()), scratch.Join(c.name));
        EXPECT_STREQ(entry->productVersion.Text(), "");
        EXPECT_STREQ(entry->fileVersion.Text(), "");
        EXPECT_EQ((entry->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, (c.access & kAccessDirectory) != 0);
    }

    const ___RSFILEINFO* five = Find(list, "five.txt");
    EXPECT_EQ(five->sizeLow, 5u);
    EXPECT_EQ(five->sizeHigh, 0u);
    // UTC, to the second.
    const RCDateTime& w = five->lastWritten;
    EXPECT_EQ(w.Year(), 2003);
    EXPECT_EQ(w.Month(), 4);
    EXPECT_EQ(w.Day(), 5);
    EXPECT_EQ(w.Hour(), 6);
    EXPECT_EQ(w.Minute(), 7);
    EXPECT_EQ(w.Second(), 8);
    EXPECT_EQ(five->lastAccessed.Year(), 2002);
    EXPECT_EQ(five->lastAccessed.Second(), 7);
    if (!testwin::IsWine()) {   // Wine keeps no creation time of its own
        EXPECT_EQ(five->created.Year(), 2001);
    }
}

TEST(ListDirectory, FolderTexts)
{
    TestFolder scratch("listtexts");
    std::string hyo = scratch.Join(kHyo);
    ASSERT_TRUE(scratch.WriteFile(std::string(kHyo) + "\\a.txt", "x"));
    ASSERT_TRUE(CreateDirectoryA(scratch.Join("empty").c_str(), nullptr));
    RCList<___RSFILEINFO> list;

    // 表 ends in 0x5C, yet the pattern is 表\*, not 表*.
    ASSERT_TRUE(ListDirectory(hyo.c_str(), list, false));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(std::string(list.Item(0)->fullPath.Text()), hyo + "\\a.txt");

    // A folder text with its own trailing separator still gets one more.
    ASSERT_TRUE(ListDirectory((hyo + "\\").c_str(), list, false));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(std::string(list.Item(0)->fullPath.Text()), hyo + "\\\\a.txt");

    EXPECT_TRUE(ListDirectory(scratch.Join("empty").c_str(), list, false));
    EXPECT_EQ(list.Count(), 0);

    list.Add(new ___RSFILEINFO);
    EXPECT_FALSE(ListDirectory(scratch.Join("missing").c_str(), list, false));
    EXPECT_EQ(list.Count(), 0);
}

TEST(ListDirectory, DetailsPathExtAndVersions)
{
    TestFolder scratch("listdetails");
    ASSERT_TRUE(scratch.WriteFile("tool.EXE", "x"));
    ASSERT_TRUE(scratch.WriteFile("tool.exe.txt", "x"));
    ASSERT_TRUE(scratch.WriteFile("lower.bat", "x"));
    ASSERT_TRUE(CopyFileA(SystemFile("kernel32.dll").c_str(), scratch.Join("k.dll").c_str(), FALSE));
    RCList<___RSFILEINFO> list;
    {
        EnvironmentValue pathExt("PATHEXT", ".COM;.EXE;.BAT");
        ASSERT_TRUE(ListDirectory(scratch.Path().c_str(), list, true));
        ASSERT_EQ(list.Count(), 4);
        EXPECT_EQ(Find(list, "tool.EXE")->access & kAccessExecutable, kAccessExecutable);
        EXPECT_EQ(Find(list, "tool.exe.txt")->access & kAccessExecutable, 0u);
        EXPECT_EQ(Find(list, "lower.bat")->access & kAccessExecutable, 0u);   // case-sensitive
        const ___RSFILEINFO* dll = Find(list, "k.dll");
        EXPECT_TRUE(LooksLikeVersion(dll->productVersion.Text())) << dll->productVersion.Text();
        EXPECT_TRUE(LooksLikeVersion(dll->fileVersion.Text())) << dll->fileVersion.Text();
        EXPECT_STREQ(Find(list, "tool.EXE")->fileVersion.Text(), "");
    }
    {
        EnvironmentValue pathExt("PATHEXT", nullptr);
        ASSERT_TRUE(ListDirectory(scratch.Path().c_str(), list, true));
        EXPECT_EQ(Find(list, "tool.EXE")->access & kAccessExecutable, 0u);
    }
}

TEST(GetVersionTexts, ResourceOrNone)
{
    TestFolder scratch("version");
    ASSERT_TRUE(scratch.WriteFile("plain.txt", "no resource here"));
    RCAnsiStr product("keep"), file("keep");
    EXPECT_FALSE(GetVersionTexts(scratch.Join("plain.txt").c_str(), product, file));
    EXPECT_FALSE(GetVersionTexts(scratch.Join("missing.dll").c_str(), product, file));
    EXPECT_FALSE(GetVersionTexts(nullptr, product, file));
    EXPECT_STREQ(product.Text(), "keep");
    EXPECT_STREQ(file.Text(), "keep");

    ASSERT_TRUE(GetVersionTexts(SystemFile("kernel32.dll").c_str(), product, file));
    EXPECT_TRUE(LooksLikeVersion(product.Text())) << product.Text();
    EXPECT_TRUE(LooksLikeVersion(file.Text())) << file.Text();
}

// A version.dll planted beside the program must never be loaded through the
// import table: the library is taken from the system folder when used.
TEST(GetVersionTexts, VersionDllIsNotImported)
{
    EXPECT_FALSE(ImportsDll("version.dll"));
}

// A record's times are set first and its attributes after them, so that a
// read-only file (cleared for the times) and a read-only record both work;
// a record without read-only clears it. The folder's Shift-JIS name ends in
// the byte of a backslash.
TEST(ApplyRecord, TimesThenAttributes)
{
    struct Case {
        const char* what;
        bool folder;
        std::string name;
        uint32_t attributes; // of the record
        uint32_t compared;   // the bits of the result that are compared
        uint32_t expected;
        uint64_t created, accessed, written;
    };
    const uint32_t kFolderBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const Case cases[] = {
        {"read-only file, read-only record", false, "a.txt",
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0x7,
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, testwin::FileTimeOf(1999, 12, 31, 23, 59, 58, 1),
         testwin::FileTimeOf(2000, 1, 1, 0, 0, 1, 1234567), testwin::FileTimeOf(2000, 2, 29, 12, 0, 0, 7654321)},
        {"read-only file, plain record", false, "b.txt", FILE_ATTRIBUTE_ARCHIVE, 0x7, 0,
         testwin::FileTimeOf(1999, 12, 31, 23, 59, 58, 1), testwin::FileTimeOf(2000, 1, 1, 0, 0, 1, 1234567),
         testwin::FileTimeOf(1999, 12, 31, 23, 59, 58, 1)},
        {"folder", true, kHyo, kFolderBits, 0xFFFFFFFFu, kFolderBits,
         testwin::FileTimeOf(2010, 5, 6, 7, 8, 9, 11), testwin::FileTimeOf(2011, 5, 6, 7, 8, 9, 22),
         testwin::FileTimeOf(2012, 5, 6, 7, 8, 9, 33)},
    };
    TestFolder scratch("apply");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = scratch.Join(c.name);
        if (c.folder) {
            ASSERT_TRUE(scratch.WriteFile(c.name + "\\inside.txt", "x"));
        } else {
            ASSERT_TRUE(scratch.WriteFile(c.name, "x"));
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        const FileAttributeRecord record = Record(c.attributes, c.created, c.accessed, c.written);
        ASSERT_TRUE(c.folder ? ApplyFolderRecord(path.c_str(), record) : ApplyFileRecord(path.c_str(), record));
        testwin::Times times;
        ASSERT_TRUE(testwin::ReadTimes(path, &times));
        EXPECT_EQ(times.written, c.written);
        EXPECT_EQ(times.accessed, c.accessed);
        // Wine reports the last-write time as the creation time.
        EXPECT_EQ(times.created, testwin::IsWine() ? c.written : c.created);
        EXPECT_EQ(Attributes(path) & c.compared, c.expected);
    }
}

TEST(ApplyFileRecord, Failures)
{
    TestFolder scratch("applyfail");
    std::string file = scratch.Join("a.txt");
    ASSERT_TRUE(scratch.WriteFile("a.txt", "x"));
    FileAttributeRecord record = Record(FILE_ATTRIBUTE_READONLY, 1, 2, 3);
    EXPECT_FALSE(ApplyFileRecord(scratch.Join("missing").c_str(), record));
    EXPECT_FALSE(ApplyFolderRecord(scratch.Join("missing").c_str(), record));

    // Open elsewhere without leave to write: the times cannot be set, and
    // the read-only attribute stays cleared.
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE open = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ApplyFileRecord(file.c_str(), record));
    CloseHandle(open);
    EXPECT_EQ(Attributes(file) & FILE_ATTRIBUTE_READONLY, 0u);
}

