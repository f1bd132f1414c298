// qm-build.exe under Windows: a tree made with the wide Windows calls,
// with real attributes, times and Japanese names, read back from the
// installer the way the launcher reads it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/StubSettings.h"
#include "support/WinHandle.h"
#include "tests/host/ArchiveDump.h"
#include "tests/host/OtherInstaller.h"
#include "tests/host/TestStub.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"
#include "tools/ChildProcess.h"
#include "tools/WideText.h"

namespace {

// The builder as Windows sees it: the build tree lies on Z:.
std::string ToolPath()
{
    return testwin::ThroughZ(QM_BUILD_TOOL);
}

std::wstring Wide(const std::string& s)
{
    return WideText::FromUtf8(s);
}

FILETIME Time(uint64_t t)
{
    FILETIME f;
    f.dwLowDateTime = static_cast<DWORD>(t);
    f.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return f;
}

uint64_t Ticks(const FILETIME& f)
{
    return static_cast<uint64_t>(f.dwLowDateTime) | static_cast<uint64_t>(f.dwHighDateTime) << 32;
}

bool SetTimes(const std::wstring& path, uint64_t access, uint64_t write)
{
    FileHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME a = Time(access), w = Time(write);
    return file.Valid() && SetFileTime(file.Get(), nullptr, &a, &w) != 0;
}

bool Find(const std::wstring& path, WIN32_FIND_DATAW& data)
{
    return FindHandle(FindFirstFileW(path.c_str(), &data)).Valid();
}

TEST(BuilderWin, PacksRealAttributesTimesAndNames)
{
    TestFolder scratch("builder");
    const std::string root = scratch.Path();
    ASSERT_TRUE(scratch.WriteFile("stub.exe", TestStub().Bytes()));
    ASSERT_TRUE(CreateDirectoryW(Wide(root + "\\out").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Wide(root + "\\src").c_str(), nullptr));

    struct Entry {
        const char* path;     // UTF-8, "\" between components
        const char* archived; // Shift-JIS
        bool folder;
        const char* content;
        DWORD set;            // attributes to set
        uint32_t attributes;  // as the record must hold them (Wine keeps these)
    };
    // In archive order.
    const Entry entries[] = {
        {"data", "data", true, nullptr, FILE_ATTRIBUTE_HIDDEN, 0x12},
        {"data\\a.ini", "data\\a.ini", false, "", FILE_ATTRIBUTE_ARCHIVE, 0x20},
        {"data\\sys.dat", "data\\sys.dat", false, "s", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, 0x24},
        {"locked.txt", "locked.txt", false, "ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0x23},
        {"lvxrun.exe", "lvxrun.exe", false, "MZ program", FILE_ATTRIBUTE_ARCHIVE, 0x20},
        {"\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd", "\x95\x5c\x83\x5c\x94\x5c", true, nullptr, 0, 0x10},
        {"\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd\\\xe8\x83\xbd.txt", "\x95\x5c\x83\x5c\x94\x5c\\\x94\x5c.txt", false,
         "nou", FILE_ATTRIBUTE_ARCHIVE, 0x20},
    };
    const size_t count = sizeof entries / sizeof entries[0];
    for (const Entry& e : entries) {
        std::wstring path = Wide(root + "\\src\\" + e.path);
        if (e.folder) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << e.path;
            continue;
        }
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << e.path;
        DWORD written = 0;
        DWORD length = static_cast<DWORD>(strlen(e.content));
        ASSERT_TRUE(length == 0 || WriteFile(h, e.content, length, &written, nullptr));
        CloseHandle(h);
    }
    // Times, then attributes (read-only last), deepest first.
    for (size_t i = count; i-- > 0;) {
        std::wstring path = Wide(root + "\\src\\" + entries[i].path);
        ASSERT_TRUE(SetTimes(path, 133444736000000000ull + i * 10000000ull, 132593079671234567ull + i * 10000000ull));
        if (entries[i].set != 0) {
            ASSERT_TRUE(SetFileAttributesW(path.c_str(), entries[i].set));
        }
    }

    // By default the last-write time stands for the last-access time
    // (reading moves the latter: the build that keeps it comes first).
    for (bool keepAccess : {true, false}) {
    SCOPED_TRACE(keepAccess ? "--keep-access-times" : "default");
    std::string output;
    std::vector<std::string> args = {ToolPath(), "--stub", root + "\\stub.exe", "--source", root + "\\src",
                                     "--installer", "lvxrun.exe", "--output", root + "\\out\\setup.exe"};
    if (keepAccess)
        args.push_back("--keep-access-times");
    int status = ChildProcess::Run(args, output);
    ASSERT_EQ(status, 0) << output;
    std::string bytes;
    ASSERT_TRUE(TestFolder::ReadFile(root + "\\out\\setup.exe", &bytes));
    std::string stub = TestStub().Bytes();
    EXPECT_STREQ(bytes.c_str() + TestStub::kBlockAt, std::to_string(stub.size()).c_str());
    EXPECT_STREQ(bytes.c_str() + TestStub::kBlockAt + StubSettings::kAreaSize, "lvxrun.exe");
    ArchiveDump dump = ArchiveDump::Read(bytes.substr(stub.size()));
    ASSERT_TRUE(dump.ok) << dump.error;
    ASSERT_EQ(dump.entries.size(), count);
    for (size_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        const DumpedEntry& d = dump.entries[i];
        EXPECT_EQ(d.path, e.archived) << e.path;
        EXPECT_EQ(d.folder, e.folder) << e.path;
        EXPECT_EQ(d.content, e.folder ? "" : e.content) << e.path;
        EXPECT_EQ(d.record.attributes, e.attributes) << e.path;
        // The creation time as Windows reports it (Wine cannot set it and
        // gives the last-write time); the set ones exactly, as they were
        // before the builder read the files.
        WIN32_FIND_DATAW data;
        ASSERT_TRUE(Find(Wide(root + "\\src\\" + e.path), data));
        EXPECT_EQ(d.record.creationTime, Ticks(data.ftCreationTime)) << e.path;
        EXPECT_EQ(d.record.lastWriteTime, 132593079671234567ull + i * 10000000ull) << e.path;
        EXPECT_EQ(d.record.lastAccessTime,
                  keepAccess ? 133444736000000000ull + i * 10000000ull : d.record.lastWriteTime) << e.path;
    }
    }

    // Looked into by the Windows build, read as the launcher reads it.
    std::string output;
    ASSERT_EQ(ChildProcess::Run({ToolPath(), "--verify", root + "\\out\\setup.exe"}, output), 0) << output;
    EXPECT_NE(output.find("sound: 5 files and 2 folders"), std::string::npos) << output;
    ASSERT_EQ(ChildProcess::Run({ToolPath(), "--list", root + "\\out\\setup.exe"}, output), 0) << output;
    EXPECT_NE(output.find("\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd\\\xe8\x83\xbd.txt"), std::string::npos) << output;

    // Unpacked by the Windows build: the same names, content, attributes
    // and times (the last build stored the last-write time as the
    // last-access time); only into a new or empty folder.
    ASSERT_EQ(ChildProcess::Run({ToolPath(), "--extract", root + "\\x", root + "\\out\\setup.exe"}, output), 0)
        << output;
    EXPECT_NE(output.find("unpacked into " + root + "\\x: 5 files and 2 folders, every check line matches"),
              std::string::npos) << output;
    for (size_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        SCOPED_TRACE(e.path);
        WIN32_FIND_DATAW data;
        ASSERT_TRUE(Find(Wide(root + "\\x\\" + e.path), data));
        EXPECT_EQ(data.dwFileAttributes, e.attributes);
        EXPECT_EQ(Ticks(data.ftLastWriteTime), 132593079671234567ull + i * 10000000ull);
        if (e.folder)
            continue;
        EXPECT_EQ(Ticks(data.ftLastAccessTime), 132593079671234567ull + i * 10000000ull);
        FileHandle file(CreateFileW(Wide(root + "\\x\\" + e.path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        char content[64] = "";
        DWORD read = 0;
        ASSERT_TRUE(file.Valid() && ReadFile(file.Get(), content, sizeof content, &read, nullptr));
        EXPECT_EQ(std::string(content, read), e.content);
    }
    EXPECT_EQ(ChildProcess::Run({ToolPath(), "--extract", root + "\\x", root + "\\out\\setup.exe"}, output), 1);
    EXPECT_NE(output.find("not empty"), std::string::npos) << output;

    // Only a regular file that is not the stub is replaced.
    for (const std::string& target : {root + "\\stub.exe", std::string("NUL"), root + "\\src"}) {
        SCOPED_TRACE(target);
        int status = ChildProcess::Run({ToolPath(), "--stub", root + "\\stub.exe", "--source", root + "\\src",
                                        "--installer", "lvxrun.exe", "--output", target},
                                       output);
        EXPECT_EQ(status, 1) << output;
        EXPECT_TRUE(output.find("is the stub itself") != std::string::npos ||
                    output.find("is not a regular file") != std::string::npos ||
                    output.find("lies inside the folder being packed") != std::string::npos)
            << output;
    }
    std::string stubNow;
    ASSERT_TRUE(TestFolder::ReadFile(root + "\\stub.exe", &stubNow));
    EXPECT_TRUE(stubNow == TestStub().Bytes());
}

// Nothing is written outside DIR on Windows either: names that would leave
// it or name a device are refused, and nothing is written at all.
TEST(BuilderWin, ExtractsNothingOutsideTheFolder)
{
    TestFolder scratch("builder-extract");
    const std::string root = scratch.Path();
    ASSERT_TRUE(CreateDirectoryW(Wide(root + "\\x").c_str(), nullptr));
    for (const HostileInstaller& c : HostileInstallers()) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(scratch.WriteFile("x\\case.exe", c.bytes));
        std::string output;
        EXPECT_EQ(ChildProcess::Run({ToolPath(), "--extract", root + "\\x\\out", root + "\\x\\case.exe"}, output), 1);
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        std::vector<std::wstring> names;
        for (const std::string& folder : {root, root + "\\x"}) {
            WIN32_FIND_DATAW data;
            FindHandle search(FindFirstFileW(Wide(folder + "\\*").c_str(), &data));
            ASSERT_TRUE(search.Valid());
            do
                names.push_back(data.cFileName);
            while (FindNextFileW(search.Get(), &data));
        }
        std::sort(names.begin(), names.end());
        EXPECT_TRUE(names == (std::vector<std::wstring>{L".", L".", L"..", L"..", L"case.exe", L"x"}));
    }
}

// The output may not lie in the folder being packed, however it is named:
// through a link to a folder inside it as well.
TEST(BuilderWin, RefusesAnOutputInsideTheSourceThroughALink)
{
    TestFolder scratch("builder-inside");
    const std::string root = scratch.Path();
    ASSERT_TRUE(scratch.WriteFile("stub.exe", TestStub().Bytes()));
    ASSERT_TRUE(scratch.WriteFile("src\\lvxrun.exe", "MZ"));
    ASSERT_TRUE(scratch.WriteFile("src\\inner\\a.txt", "a"));
    std::string how;
    ASSERT_TRUE(testwin::MakeFolderLink(root, root + "\\out", root + "\\src\\inner", &how));
    SCOPED_TRACE(how);
    for (const char* output : {"\\out\\setup.exe", "\\src\\inner\\setup.exe", "\\SRC\\setup.exe"}) {
        SCOPED_TRACE(output);
        std::string said;
        EXPECT_EQ(ChildProcess::Run({ToolPath(), "--stub", root + "\\stub.exe", "--source", root + "\\src",
                                     "--installer", "lvxrun.exe", "--output", root + output},
                                    said),
                  1);
        EXPECT_NE(said.find("lies inside the folder being packed"), std::string::npos) << said;
    }
    EXPECT_FALSE(testwin::Exists(root + "\\src\\inner\\setup.exe"));
    EXPECT_TRUE(testwin::RemoveFolderLink(root, root + "\\out"));
}

// A name that code page 932 cannot hold (from the wide file-system calls,
// whatever the ANSI code page) puts every name of the payload in UTF-8:
// packed behind a stub that reads them, and unpacked again by --extract
// under its own name; refused for a stub that does not.
TEST(BuilderWin, PacksNamesOutsideCodePage932InUtf8)
{
    TestFolder scratch("builder-utf8");
    const std::string root = scratch.Path();
    TestStub capable;
    capable.widePaths = capable.utf8Names = true;
    ASSERT_TRUE(scratch.WriteFile("capable.exe", capable.Bytes()));
    ASSERT_TRUE(scratch.WriteFile("old.exe", TestStub().Bytes()));
    ASSERT_TRUE(scratch.WriteFile("src\\lvxrun.exe", "MZ"));
    const std::string name = "caf\xc3\xa9 \xf0\x9f\x98\x80.txt"; // café 😀.txt
    std::wstring odd = Wide(root + "\\src\\" + name);
    HANDLE h = CreateFileW(odd.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    auto build = [&](const char* stub, std::string& output) {
        return ChildProcess::Run({ToolPath(), "--stub", root + "\\" + stub, "--source", root + "\\src", "--installer",
                                  "lvxrun.exe", "--output", root + "\\setup.exe"},
                                 output);
    };
    std::string output;
    EXPECT_EQ(build("old.exe", output), 1) << output;
    EXPECT_NE(output.find(name + ": this name and any other that code page 932 cannot hold"), std::string::npos) << output;
    EXPECT_EQ(GetFileAttributesW(Wide(root + "\\setup.exe").c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(build("capable.exe", output), 0) << output;
    std::string installer;
    ASSERT_TRUE(TestFolder::ReadFile(root + "\\setup.exe", &installer));
    ArchiveDump dump = ArchiveDump::Read(installer.substr(capable.Bytes().size()));
    ASSERT_TRUE(dump.ok) << dump.error;
    EXPECT_EQ(dump.firstLines, (std::vector<std::string>{"C", "NUTF-8"}));
    ASSERT_EQ(dump.entries.size(), 2u);
    EXPECT_EQ(dump.entries[0].path, name);
    ASSERT_EQ(ChildProcess::Run({ToolPath(), "--extract", root + "\\x", root + "\\setup.exe"}, output), 0) << output;
    EXPECT_NE(GetFileAttributesW(Wide(root + "\\x\\" + name).c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(Wide(root + "\\x\\" + name).c_str());
    DeleteFileW(odd.c_str()); // the ANSI clean-up could not name them
}

} // namespace
