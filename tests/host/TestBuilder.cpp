// qm-build end to end on POSIX hosts: trees in, installers out, read back
// the way the launcher reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "payload/PayloadWriter.h"
#include "payload/StubSettings.h"
#include "tests/host/ArchiveDump.h"
#include "tests/host/OtherInstaller.h"
#include "tests/shared/TestBytes.h"
#include "tests/shared/TestFolder.h"
#include "tests/host/TestStub.h"
#include "tests/shared/StringSink.h"
#include "tools/ChildProcess.h"
#include "tools/Extractor.h"
#include "tools/Inspector.h"
#include "tools/NameCodec.h"
#include "tools/StubImage.h"

namespace {

constexpr int64_t kEpochGap = 11644473600LL;

uint64_t FileTime(int64_t seconds, int64_t nanoseconds)
{
    return static_cast<uint64_t>(seconds + kEpochGap) * 10000000ull + static_cast<uint64_t>(nanoseconds / 100);
}

// Whether text is well-formed UTF-8 (what a UTF-8 terminal shows as it is).
bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2)
                return false;
        }
        i += n;
    }
    return true;
}

// A finished installer taken apart.
struct Installer {
    std::string bytes;
    std::string offsetText;
    std::string installerName;
    ArchiveDump dump;

    static Installer Read(const std::string& path)
    {
        Installer in;
        if (!TestFolder::ReadFile(path, &in.bytes) || in.bytes.size() < TestStub::kBlockAt + 50)
            return in;
        in.offsetText = in.bytes.c_str() + TestStub::kBlockAt;
        in.installerName = in.bytes.c_str() + TestStub::kBlockAt + StubSettings::kAreaSize;
        size_t offset = std::strtoul(in.offsetText.c_str(), nullptr, 10);
        if (offset <= in.bytes.size())
            in.dump = ArchiveDump::Read(in.bytes.substr(offset));
        return in;
    }
};

std::vector<std::string> FolderNames(const std::string& path)
{
    std::vector<std::string> names;
    DIR* d = opendir(path.c_str());
    if (d == nullptr)
        return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Names below a folder, recursively ("a/b"), with the kind of each.
std::vector<std::string> TreeNames(const std::string& root, const std::string& below = "")
{
    std::vector<std::string> names;
    for (const std::string& n : FolderNames(below.empty() ? root : root + "/" + below)) {
        const std::string relative = below.empty() ? n : below + "/" + n;
        struct stat st;
        if (lstat((root + "/" + relative).c_str(), &st) != 0)
            continue;
        names.push_back(relative + (S_ISDIR(st.st_mode) ? "/" : S_ISLNK(st.st_mode) ? "@" : ""));
        if (S_ISDIR(st.st_mode)) {
            std::vector<std::string> inner = TreeNames(root, relative);
            names.insert(names.end(), inner.begin(), inner.end());
        }
    }
    return names;
}

class Builder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(temp.Path().empty());
        ASSERT_TRUE(temp.WriteFile("stub.exe", TestStub().Bytes()));
        ASSERT_TRUE(temp.MakeFolder("src"));
        ASSERT_TRUE(temp.MakeFolder("out"));
    }

    struct Result {
        int status;
        std::string output;
    };

    Result Build(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {QM_BUILD_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        Result r;
        r.status = ChildProcess::Run(argv, r.output);
        return r;
    }

    std::vector<std::string> Args(const std::string& installer = "lvxrun.exe", const std::string& output = "out/setup.exe")
    {
        return {"--stub", temp.Join("stub.exe"), "--source", temp.Join("src"), "--installer", installer,
                "--output", temp.Join(output)};
    }

    bool Src(const std::string& relative, const std::string& bytes) { return temp.WriteFile("src/" + relative, bytes); }

    // What --list writes to its standard output alone.
    std::string ListingOnly(const std::string& installer)
    {
        std::string out;
        ChildProcess::Run({"/bin/sh", "-c", std::string("'") + QM_BUILD_TOOL + "' --list '" + installer + "' 2>/dev/null"},
                          out);
        return out;
    }

    // Starts a build into `output` (of a source big enough to take a while
    // at level 9), stops it with `signal` once its temporary file is there,
    // and returns the signal that ended it (0 when none did).
    int StopBuildWhileWriting(const std::string& output, int signal)
    {
        std::vector<std::string> args = Args("lvxrun.exe", output);
        args.insert(args.begin(), QM_BUILD_TOOL);
        args.insert(args.end(), {"--level", "9", "-q"});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        const size_t before = FolderNames(temp.Join("out")).size();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            return 0;
        // Until its temporary file appears, then a little longer.
        for (int i = 0; i < 500 && FolderNames(temp.Join("out")).size() == before; ++i)
            usleep(10000);
        usleep(100000);
        kill(pid, signal);
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFSIGNALED(status))
            return 0;
        return WTERMSIG(status);
    }

    TestFolder temp{"builder"};
};

// Every kind of entry, names whose Shift-JIS and UTF-8 byte orders differ,
// and times set one by one.
struct TreeEntry {
    const char* path;      // UTF-8, "/" between components
    const char* archived;  // what the archive must hold: Shift-JIS, "\" between components
    bool folder;
    size_t size;
    mode_t mode;
    uint32_t attributes;
};
// In archive order: the bytes of the Shift-JIS names, folder by folder.
const TreeEntry kTree[] = {
    {".config", ".config", true, 0, 0755, 0x12},
    {".config/settings.ini", ".config\\settings.ini", false, 7, 0644, 0x20},
    {".hidden", ".hidden", false, 3, 0644, 0x22},
    {"data", "data", true, 0, 0755, 0x10},
    {"data/a.ini", "data\\a.ini", false, 0, 0644, 0x20},
    {"data/sub", "data\\sub", true, 0, 0755, 0x10},
    {"data/sub/deep", "data\\sub\\deep", true, 0, 0755, 0x10},
    {"data/sub/deep/big.bin", "data\\sub\\deep\\big.bin", false, 20000, 0644, 0x20},
    {"empty", "empty", true, 0, 0755, 0x10},
    {"lvxrun.exe", "lvxrun.exe", false, 1024, 0755, 0x20},
    {"readonly.txt", "readonly.txt", false, 4, 0444, 0x21},
    {"setup.bmp", "setup.bmp", false, 5, 0644, 0x20},
    {"\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd", "\x95\x5c\x83\x5c\x94\x5c", true, 0, 0755, 0x10},
    {"\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd/\xe8\xa1\xa8.txt", "\x95\x5c\x83\x5c\x94\x5c\\\x95\x5c.txt", false, 2, 0444, 0x21},
    // half-width katakana a (B1) sorts before you (EA A2) in Shift-JIS, after it in UTF-8
    {"\xef\xbd\xb1.txt", "\xb1.txt", false, 1, 0644, 0x20},
    {"\xe7\x91\xa4.txt", "\xea\xa2.txt", false, 1, 0644, 0x20},
};
constexpr size_t kTreeCount = sizeof kTree / sizeof kTree[0];

// Makes kTree under src in temp: content, then modes and times, deepest
// first, so that no later change touches them.
void MakeTree(TestFolder& temp)
{
    for (size_t i = 0; i < kTreeCount; ++i) {
        const TreeEntry& e = kTree[i];
        if (e.folder)
            ASSERT_TRUE(temp.MakeFolder(std::string("src/") + e.path));
        else
            ASSERT_TRUE(temp.WriteFile(std::string("src/") + e.path, NoiseBytes(e.size, static_cast<uint32_t>(i))));
    }
    for (size_t i = kTreeCount; i-- > 0;) {
        std::string path = temp.Join(std::string("src/") + kTree[i].path);
        ASSERT_EQ(chmod(path.c_str(), kTree[i].mode), 0);
        timespec times[2] = {{1700000000 + static_cast<time_t>(i), 0}, {1614834367 + static_cast<time_t>(i), 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
}

// kTree read back as the launcher would.
TEST_F(Builder, PacksATreeWithItsNamesAttributesAndTimes)
{
    ASSERT_NO_FATAL_FAILURE(MakeTree(temp));

    // By default the last-write time stands for the last-access time too
    // (reading the tree changes the latter: the build that keeps it comes
    // first); on request it is kept.
    for (bool keepAccess : {true, false}) {
    SCOPED_TRACE(keepAccess ? "--keep-access-times" : "default");
    std::vector<std::string> args = Args();
    if (keepAccess)
        args.push_back("--keep-access-times");
    Result r = Build(args);
    ASSERT_EQ(r.status, 0) << r.output;
    // The one warning about the Japanese names, then one line on success.
    EXPECT_EQ(r.output.find("qm-build: warning: "), 0u) << r.output;
    EXPECT_NE(r.output.find("more names are not plain ASCII"), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2) << r.output;
    EXPECT_NE(r.output.find("\nqm-build: wrote "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("10 files, 6 folders"), std::string::npos) << r.output;
    Installer in = Installer::Read(temp.Join("out/setup.exe"));
    ASSERT_TRUE(in.dump.ok) << in.dump.error;
    ASSERT_EQ(in.dump.entries.size(), kTreeCount);
    for (size_t i = 0; i < kTreeCount; ++i) {
        const TreeEntry& e = kTree[i];
        const DumpedEntry& d = in.dump.entries[i];
        EXPECT_EQ(d.path, e.archived) << e.path;
        EXPECT_EQ(d.folder, e.folder) << e.path;
        EXPECT_EQ(d.content, e.folder ? std::string() : NoiseBytes(e.size, static_cast<uint32_t>(i))) << e.path;
        EXPECT_EQ(d.record.attributes, e.attributes) << e.path;
        uint64_t written = FileTime(1614834367 + static_cast<int64_t>(i), 123456789);
        EXPECT_EQ(d.record.lastWriteTime, written) << e.path;
        EXPECT_EQ(d.record.creationTime, written) << e.path; // no creation time on POSIX
        EXPECT_EQ(d.record.lastAccessTime, keepAccess ? FileTime(1700000000 + static_cast<int64_t>(i), 0) : written)
            << e.path;
    }
    }
}

// A tree whose names code page 932 can all hold gives the very payload
// that the builder gave before names in other scripts could be packed
// (host/data/cp932-tree.payload: kTree as that builder packed it), also
// with a stub that reads names in UTF-8.
TEST_F(Builder, ATreeInCodePage932GivesTheSamePayloadAsBefore)
{
    ASSERT_NO_FATAL_FAILURE(MakeTree(temp));
    TestStub stub;
    stub.widePaths = stub.utf8Names = true;
    ASSERT_TRUE(temp.WriteFile("stub.exe", stub.Bytes()));
    Result r = Build(Args());
    ASSERT_EQ(r.status, 0) << r.output;
    std::string installer, expected;
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("out/setup.exe"), &installer));
    const std::string payload = installer.substr(stub.Bytes().size());
    ASSERT_TRUE(TestFolder::ReadFile(QM_TEST_DATA "/cp932-tree.payload", &expected));
    EXPECT_EQ(payload.size(), expected.size());
    EXPECT_TRUE(payload == expected); // (binary: not printed)
}

// Names that code page 932 cannot hold: every name of the tree goes in
// UTF-8, the archive says so in its first lines, and --list, --verify and
// --extract read it. The installer's name stays Shift-JIS in the stub
// setting and is found all the same.
TEST_F(Builder, PacksNamesInAnyLanguage)
{
    TestStub stub;
    stub.widePaths = stub.utf8Names = true;
    ASSERT_TRUE(temp.WriteFile("stub.exe", stub.Bytes()));
    // In archive order: the bytes of the UTF-8 names.
    const char* const names[] = {
        "Licence ©.txt", "Résumé.pdf", "Straße.txt", "naïve.txt", "Документы", "Документы/Отчёт.txt",
        "中文简体.txt", "導入.exe", "表.txt", "한국어.txt", "😀 emoji.txt",
    };
    for (const char* name : names) {
        if (std::strchr(name, '.') == nullptr)
            ASSERT_TRUE(temp.MakeFolder(std::string("src/") + name));
        else
            ASSERT_TRUE(Src(name, name));
    }
    Result r = Build(Args("導入.exe"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
    Installer in = Installer::Read(temp.Join("out/setup.exe"));
    ASSERT_TRUE(in.dump.ok) << in.dump.error;
    EXPECT_EQ(in.installerName, "\x93\xb1\x93\xfc.exe");
    EXPECT_EQ(in.dump.firstLines, (std::vector<std::string>{"C", "NUTF-8"}));
    std::vector<std::string> stored;
    for (const DumpedEntry& e : in.dump.entries)
        stored.push_back(e.path);
    std::vector<std::string> expected;
    for (const char* name : names) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '/', '\\');
        expected.push_back(path);
    }
    EXPECT_EQ(stored, expected);

    const std::string installer = temp.Join("out/setup.exe");
    r = Build({"--list", installer});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const std::string& part : {std::string("installer: 導入.exe\n"), std::string("names: UTF-8\n"),
                                    std::string("  Документы\\Отчёт.txt\n"), std::string("  😀 emoji.txt\n")})
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
    r = Build({"--verify", installer});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("sound: 10 files and 1 folders"), std::string::npos) << r.output;
    r = Build({"--extract", temp.Join("x"), installer});
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> extracted;
    for (const char* name : names)
        extracted.push_back(std::string(name) + (std::strchr(name, '.') == nullptr ? "/" : ""));
    std::sort(extracted.begin(), extracted.end());
    EXPECT_EQ(TreeNames(temp.Join("x")), extracted);
    for (const char* name : names) {
        std::string content;
        if (std::strchr(name, '.') != nullptr && TestFolder::ReadFile(temp.Join(std::string("x/") + name), &content)) {
            EXPECT_EQ(content, name);
        }
    }
}

// The settings: the offset is the stub's length, the name follows in its
// area; the payload is a zlib stream padded to whole 8192-byte pieces, and
// the result holds no untouched settings block any more.
TEST_F(Builder, FillsInTheSettingsAndPadsThePayload)
{
    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    Result r = Build(Args());
    ASSERT_EQ(r.status, 0) << r.output;
    Installer in = Installer::Read(temp.Join("out/setup.exe"));
    std::string stub = TestStub().Bytes();
    EXPECT_EQ(in.offsetText, std::to_string(stub.size()));
    EXPECT_EQ(in.installerName, "lvxrun.exe");
    // Nothing of the defaults is left behind the zeros.
    EXPECT_EQ(in.bytes.substr(TestStub::kBlockAt + 5, 20), std::string(20, '\0'));
    EXPECT_EQ(in.bytes.substr(TestStub::kBlockAt + 25 + 11, 14), std::string(14, '\0'));
    // The stub is otherwise unchanged.
    EXPECT_EQ(in.bytes.substr(0, TestStub::kBlockAt), stub.substr(0, TestStub::kBlockAt));
    EXPECT_EQ(in.bytes.substr(TestStub::kBlockAt + 50, stub.size() - TestStub::kBlockAt - 50),
              stub.substr(TestStub::kBlockAt + 50));
    std::string payload = in.bytes.substr(stub.size());
    ASSERT_GE(payload.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(payload[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(payload[1]), 0x9C); // level 6, the default
    EXPECT_EQ(payload.size() % 8192, 0u);
    ASSERT_TRUE(in.dump.ok) << in.dump.error;
    EXPECT_EQ(in.dump.trailingOutput, 0u);
    std::vector<uint8_t> bytes(in.bytes.begin(), in.bytes.end());
    EXPECT_EQ(StubImage::CountBlocks(bytes, nullptr), 0);
}

// Twice the same tree: twice the same bytes.
TEST_F(Builder, SameTreeGivesTheSameInstaller)
{
    const char* names[] = {"b.txt", "a.txt", "C.txt", "lvxrun.exe", "z/y.txt", "z/x.txt", "A/q"};
    for (const char* name : names)
        ASSERT_TRUE(Src(name, name));
    // Reading a file may move its access time: the same times for each run.
    auto resetTimes = [&] {
        timespec times[2] = {{1700000000, 0}, {1600000000, 0}};
        for (const char* name : {"src/z", "src/A", "src"})
            utimensat(AT_FDCWD, temp.Join(name).c_str(), times, 0);
        for (const char* name : names)
            ASSERT_EQ(utimensat(AT_FDCWD, temp.Join(std::string("src/") + name).c_str(), times, 0), 0);
    };
    resetTimes();
    ASSERT_EQ(Build(Args("lvxrun.exe", "out/one.exe")).status, 0);
    resetTimes();
    ASSERT_EQ(Build(Args("lvxrun.exe", "out/two.exe")).status, 0);
    std::string one, two;
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("out/one.exe"), &one));
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("out/two.exe"), &two));
    EXPECT_TRUE(one == two); // (binary: not printed)
    Installer in = Installer::Read(temp.Join("out/one.exe"));
    ASSERT_TRUE(in.dump.ok);
    std::vector<std::string> order;
    for (const DumpedEntry& e : in.dump.entries)
        order.push_back(e.path);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "A\\q", "C.txt", "a.txt", "b.txt", "lvxrun.exe", "z", "z\\x.txt", "z\\y.txt"}));
}

// Without any help: two builds of one tree, with the tree read in between
// (which moves last-access times), are the same bytes; --level changes the
// compression only. With SOURCE_DATE_EPOCH no stored time is later than it.
TEST_F(Builder, BuildsRepeatAndTimesClamp)
{
    ASSERT_TRUE(Src("lvxrun.exe", NoiseBytes(5000, 1)));
    ASSERT_TRUE(Src("data/a.txt", std::string(3000, 'a')));
    ASSERT_TRUE(Src("data/old.txt", "old"));
    const int64_t kEpoch = 1650000000;
    timespec late[2] = {{1700000000, 0}, {1700000000, 5}};  // after the epoch
    timespec early[2] = {{1600000000, 0}, {1500000000, 7}}; // before it
    for (const char* name : {"src/lvxrun.exe", "src/data/a.txt", "src/data"})
        ASSERT_EQ(utimensat(AT_FDCWD, temp.Join(name).c_str(), late, 0), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, temp.Join("src/data/old.txt").c_str(), early, 0), 0);

    ASSERT_EQ(Build(Args("lvxrun.exe", "out/one.exe")).status, 0);
    std::string read;
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("src/lvxrun.exe"), &read));
    ASSERT_EQ(Build(Args("lvxrun.exe", "out/two.exe")).status, 0);
    std::vector<std::string> level9 = Args("lvxrun.exe", "out/nine.exe");
    level9.insert(level9.end(), {"--level", "9"});
    ASSERT_EQ(Build(level9).status, 0);
    std::string one, two;
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("out/one.exe"), &one));
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("out/two.exe"), &two));
    EXPECT_TRUE(one == two); // (binary: not printed)
    Installer a = Installer::Read(temp.Join("out/one.exe"));
    Installer nine = Installer::Read(temp.Join("out/nine.exe"));
    ASSERT_TRUE(a.dump.ok && nine.dump.ok);
    EXPECT_EQ(static_cast<unsigned char>(nine.bytes[std::stoul(nine.offsetText) + 1]), 0xDA); // level 9's header
    ASSERT_EQ(a.dump.entries.size(), nine.dump.entries.size());
    for (size_t i = 0; i < a.dump.entries.size(); ++i)
        EXPECT_EQ(a.dump.entries[i].content, nine.dump.entries[i].content);

    ChildProcess::Run({"/bin/sh", "-c", "SOURCE_DATE_EPOCH=" + std::to_string(kEpoch) + " '" + QM_BUILD_TOOL +
                                            "' -q --stub '" + temp.Join("stub.exe") + "' --source '" + temp.Join("src") +
                                            "' --installer lvxrun.exe -o '" + temp.Join("out/clamped.exe") + "'"},
                      read);
    Installer clamped = Installer::Read(temp.Join("out/clamped.exe"));
    ASSERT_TRUE(clamped.dump.ok) << read;
    const uint64_t latest = FileTime(kEpoch, 0);
    for (const DumpedEntry& e : clamped.dump.entries) {
        SCOPED_TRACE(e.path);
        for (uint64_t t : {e.record.creationTime, e.record.lastAccessTime, e.record.lastWriteTime})
            EXPECT_LE(t, latest);
        if (e.path == "data\\old.txt")
            EXPECT_EQ(e.record.lastWriteTime, FileTime(1500000000, 7)); // earlier times stay
        else
            EXPECT_EQ(e.record.lastWriteTime, latest);
    }
    for (const char* bad : {"soon", "-5", "1.5", ""}) {
        ChildProcess::Run({"/bin/sh", "-c", std::string("SOURCE_DATE_EPOCH='") + bad + "' '" + QM_BUILD_TOOL +
                                                "' --stub '" + temp.Join("stub.exe") + "' --source '" + temp.Join("src") +
                                                "' --installer lvxrun.exe -o '" + temp.Join("out/bad.exe") + "'; echo \"status $?\""},
                          read);
        if (*bad == '\0')
            EXPECT_NE(read.find("status 0"), std::string::npos) << read; // set but empty: as if unset
        else
            EXPECT_NE(read.find("is not a number of seconds since 1970"), std::string::npos) << bad << ": " << read;
    }
}

// --level 0 stores, for content that is compressed already: the content
// stands in the payload as it is, the stream stays open (read piece by
// piece as the launcher reads it, no step ends it) and checks sound.
TEST_F(Builder, StoresAtLevel0)
{
    const std::string noise = NoiseBytes(100000, 6);
    ASSERT_TRUE(Src("lvxrun.exe", noise));
    ASSERT_TRUE(Src("data/zeros.bin", std::string(50000, '\0')));
    std::vector<std::string> args = Args();
    args.insert(args.end(), {"--level", "0"});
    Result r = Build(args);
    ASSERT_EQ(r.status, 0) << r.output;
    Installer in = Installer::Read(temp.Join("out/setup.exe"));
    ASSERT_TRUE(in.dump.ok) << in.dump.error;
    EXPECT_EQ(in.dump.trailingOutput, 0u);
    const size_t offset = std::stoul(in.offsetText);
    EXPECT_EQ(static_cast<unsigned char>(in.bytes[offset]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(in.bytes[offset + 1]), 0x01); // level 0's header
    EXPECT_GE(in.bytes.size() - offset, 150000u); // the zeros too take their room
    EXPECT_NE(in.bytes.find(noise.substr(5 * 8192, 8192), offset), std::string::npos); // one piece, one block
    ASSERT_EQ(in.dump.entries.size(), 3u);
    EXPECT_TRUE(in.dump.entries[2].content == noise);
    r = Build({"--verify", temp.Join("out/setup.exe")});
    EXPECT_EQ(r.status, 0) << r.output;
}

// The output is only ever a regular file that is not the stub; an
// interrupted build leaves nothing behind.
TEST_F(Builder, OutputThatCannotDestroyAnything)
{
    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    ASSERT_EQ(mkfifo(temp.Join("out/fifo").c_str(), 0644), 0);
    ASSERT_TRUE(temp.MakeFolder("out/folder"));
    ASSERT_EQ(symlink("/dev/null", temp.Join("out/device").c_str()), 0);
    ASSERT_EQ(link(temp.Join("stub.exe").c_str(), temp.Join("out/stub-link.exe").c_str()), 0);
    const struct {
        const char* output;
        const char* message;
    } cases[] = {
        {"out/fifo", "exists and is not a regular file"},
        {"out/folder", "exists and is not a regular file"},
        {"out/device", "exists and is not a regular file"},
        {"stub.exe", "is the stub itself"},
        {"out/stub-link.exe", "is the stub itself"},
    };
    const std::string stub = TestStub().Bytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        Result r = Build(Args("lvxrun.exe", c.output));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        std::string now;
        ASSERT_TRUE(TestFolder::ReadFile(temp.Join("stub.exe"), &now));
        EXPECT_TRUE(now == stub);
    }
    struct stat st;
    ASSERT_EQ(lstat(temp.Join("out/fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(lstat(temp.Join("out/device").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // Interrupted while packing 64 MiB: the temporary file goes with it.
    ASSERT_TRUE(Src("big.bin", NoiseBytes(64u << 20, 3)));
    const std::vector<std::string> before = FolderNames(temp.Join("out"));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        EXPECT_EQ(StopBuildWhileWriting("out/big.exe", signal), signal);
        EXPECT_EQ(FolderNames(temp.Join("out")), before);
    }

    // Killed outright, it cannot remove its file, which is named after the
    // output; the next build into the same place names it, and --werror
    // refuses to go on while it lies there. A build elsewhere does not.
    EXPECT_EQ(StopBuildWhileWriting("out/big.exe", SIGKILL), SIGKILL);
    std::vector<std::string> left = FolderNames(temp.Join("out"));
    ASSERT_EQ(left.size(), before.size() + 1);
    std::string leftover;
    for (const std::string& name : left) {
        if (std::find(before.begin(), before.end(), name) == before.end())
            leftover = name;
    }
    EXPECT_EQ(leftover.compare(0, 17, "big.exe.qm-build-"), 0) << leftover;
    EXPECT_EQ(leftover.size(), 17u + 6u + 4u) << leftover;
    EXPECT_EQ(leftover.compare(leftover.size() - 4, 4, ".tmp"), 0) << leftover;
    ASSERT_TRUE(temp.WriteFile("src/big.bin", "small now"));
    Result r = Build(Args("lvxrun.exe", "out/big.exe"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("qm-build: warning: " + temp.Join("out/" + leftover) +
                            " is a temporary file of an earlier build into " + temp.Join("out/big.exe")),
              std::string::npos) << r.output;
    r = Build(Args("lvxrun.exe", "out/other.exe"));
    EXPECT_EQ(r.output.find("temporary file"), std::string::npos) << r.output;
    std::vector<std::string> strict = Args("lvxrun.exe", "out/big.exe");
    strict.push_back("--werror");
    r = Build(strict);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("warnings are errors"), std::string::npos) << r.output;
    ASSERT_EQ(unlink(temp.Join("out/" + leftover).c_str()), 0);
    r = Build(strict);
    EXPECT_EQ(r.status, 0) << r.output;
}

// --list and --verify read installers as the launcher does: ours, damaged
// ones, and one from another builder without check lines.
TEST_F(Builder, ListsAndVerifiesInstallers)
{
    ASSERT_TRUE(Src("lvxrun.exe", NoiseBytes(30000, 4)));
    ASSERT_TRUE(Src("\xe8\xa1\xa8/a.ini", "ini"));
    timespec times[2] = {{1600000000, 0}, {1600000000, 1234500}};
    for (const char* name : {"src/lvxrun.exe", "src/\xe8\xa1\xa8/a.ini", "src/\xe8\xa1\xa8"})
        ASSERT_EQ(utimensat(AT_FDCWD, temp.Join(name).c_str(), times, 0), 0);
    ASSERT_EQ(Build(Args()).status, 0);
    const std::string installer = temp.Join("out/setup.exe");
    const std::string stubLength = std::to_string(TestStub().Bytes().size());

    Result r = Build({"--list", installer});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const std::string& part :
         {std::string("installer: lvxrun.exe\n"), "payload offset: " + stubLength + "\n",
          std::string("F           30000 00000020  2020-09-13 12:26:40.0012345  2020-09-13 12:26:40.0012345  2020-09-13 12:26:40.0012345  lvxrun.exe\n"),
          std::string("D               0 00000010"), std::string("  \xe8\xa1\xa8\\\n"), std::string("F               3 00000020"), std::string("  \xe8\xa1\xa8\\a.ini\n")})
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
    // In the order stored: the folder's bytes (95 5C) sort after "l".
    EXPECT_LT(r.output.find("lvxrun.exe\n"), r.output.find("a.ini"));
    r = Build({"--verify", installer});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("sound: 2 files and 1 folders"), std::string::npos) << r.output;

    std::string bytes;
    ASSERT_TRUE(TestFolder::ReadFile(installer, &bytes));
    const size_t offset = std::stoul(stubLength);
    // Without check lines (any older installer); the same with a content
    // byte changed reads the same way, and is not "sound" either.
    const std::string old = OtherInstaller([](PayloadWriter& w) {
        w.SetCheckLines(false);
        w.File("run.exe", "MZ", 2, FileAttributeRecord());
        w.Up();
    });
    const std::string oldChanged = OtherInstaller([](PayloadWriter& w) {
        w.SetCheckLines(false);
        w.File("run.exe", "MY", 2, FileAttributeRecord());
        w.Up();
    });
    // Check lines after some files only, never announced.
    const std::string mixed = OtherInstaller([](PayloadWriter& w) {
        w.SetCheckLines(false);
        w.File("run.exe", "MZ", 2, FileAttributeRecord());
        w.SetCheckLines(true);
        w.File("b.txt", "b", 1, FileAttributeRecord());
        w.Up();
    });
    // A damaged file in a folder with a Shift-JIS name ("データ", 83 66 81 5B
    // 83 5E), its noise stored as it is; and one whose name is no code page
    // 932 character (85 40 is unassigned there).
    const std::string noise = NoiseBytes(20000, 5);
    auto damagedIn = [&](const char* folder) {
        std::string made = OtherInstaller([&](PayloadWriter& w) {
            w.File("run.exe", "MZ", 2, FileAttributeRecord());
            w.Folder(folder, FileAttributeRecord());
            w.File("big.bin", noise.data(), static_cast<int64_t>(noise.size()), FileAttributeRecord());
            w.Up();
            w.Up();
        });
        size_t at = made.find(noise.substr(10000, 16));
        if (at != std::string::npos)
            made[at] = static_cast<char>(made[at] ^ 0x10);
        return made;
    };
    std::string flipped = bytes;
    flipped[offset + 200] = static_cast<char>(flipped[offset + 200] ^ 0x10); // inside lvxrun.exe, stored
    struct Case {
        const char* what;
        std::string file;
        int verifyStatus;
        int listStatus;
        const char* says; // by --verify
    } cases[] = {
        {"another builder's installer without check lines", old, 3, 0,
         "unchecked: 1 files and 0 folders read, but only 0 files have a check line; the content of the other 1 could "
         "not be checked"},
        {"the same with its content changed", oldChanged, 3, 0, "unchecked: 1 files and 0 folders read"},
        {"check lines after some files", mixed, 3, 0, "only 1 files have a check line; the content of the other 1"},
        {"a bit flipped in stored content", flipped, 1, 1, "does not match its check line (at or after file lvxrun.exe)"},
        {"a damaged file below a Shift-JIS name", damagedIn("\x83\x66\x81\x5B\x83\x5E"), 1, 1,
         "does not match its check line (at or after file \xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf\\big.bin)"},
        {"a damaged file below a name that is not code page 932", damagedIn("\x85\x40"), 1, 1,
         "(at or after file \\x85@\\big.bin)"},
        {"cut short", bytes.substr(0, offset + 3000), 1, 1, "the payload is damaged"},
        {"no payload", bytes.substr(0, offset), 1, 1, "no filled-in stub settings"},
        {"a stub only", TestStub().Bytes(), 1, 1, "no filled-in stub settings"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(temp.WriteFile("case.exe", c.file));
        r = Build({"--verify", temp.Join("case.exe")});
        EXPECT_EQ(r.status, c.verifyStatus);
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("sound"), std::string::npos) << r.output;
        // Every name in the terminal's encoding: no raw Shift-JIS.
        EXPECT_TRUE(IsUtf8(r.output)) << r.output;
        r = Build({"--list", temp.Join("case.exe")});
        EXPECT_EQ(r.status, c.listStatus);
        EXPECT_TRUE(IsUtf8(r.output)) << r.output;
        // A listing is all or nothing: no header, no entries before a fault.
        if (c.listStatus != 0) {
            EXPECT_EQ(ListingOnly(temp.Join("case.exe")), "");
        }
    }
    EXPECT_EQ(ListingOnly(temp.Join("missing.exe")), "");
    r = Build({"--list", temp.Join("missing.exe")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("cannot open " + temp.Join("missing.exe") + ": No such file or directory"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("payload offset"), std::string::npos) << r.output;
    r = Build({"--verify", installer, "--stub", "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("is for making an installer"), std::string::npos) << r.output;
}

// --extract unpacks what the launcher would: names from Shift-JIS, content,
// last-write and last-access times, read-only; into a new or empty folder
// only.
TEST_F(Builder, ExtractsAnInstaller)
{
    ASSERT_TRUE(Src("lvxrun.exe", NoiseBytes(30000, 4)));
    ASSERT_TRUE(Src("\xe8\xa1\xa8/a.ini", "ini"));       // 表: 95 5C in Shift-JIS
    ASSERT_TRUE(Src("\xe8\xa1\xa8/ro.txt", "locked"));
    ASSERT_TRUE(Src("empty.bin", ""));
    ASSERT_TRUE(temp.MakeFolder("src/\xe7\xa9\xba"));     // 空, an empty folder
    ASSERT_EQ(chmod(temp.Join("src/\xe8\xa1\xa8/ro.txt").c_str(), 0444), 0);
    struct Entry {
        const char* path;
        bool folder;
        int64_t seconds; // last write; last access a day earlier
    } entries[] = {
        {"empty.bin", false, 1600000000}, {"lvxrun.exe", false, 1600000100},
        {"\xe7\xa9\xba", true, 1600000200}, {"\xe8\xa1\xa8", true, 1600000300},
        {"\xe8\xa1\xa8/a.ini", false, 1600000400}, {"\xe8\xa1\xa8/ro.txt", false, 1600000500},
    };
    for (const Entry& e : entries) {
        timespec times[2] = {{e.seconds - 86400, 1234500}, {e.seconds, 7654300}};
        ASSERT_EQ(utimensat(AT_FDCWD, temp.Join(std::string("src/") + e.path).c_str(), times, 0), 0) << e.path;
    }
    ASSERT_EQ(Build(Args()).status, 0);
    ASSERT_TRUE(temp.MakeFolder("x"));
    const std::string installer = temp.Join("out/setup.exe");
    Result r = Build({"--extract", temp.Join("x/out"), installer});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("unpacked into " + temp.Join("x/out") + ": 4 files and 2 folders, every check line matches"),
              std::string::npos) << r.output;
    EXPECT_EQ(TreeNames(temp.Join("x/out")),
              (std::vector<std::string>{"empty.bin", "lvxrun.exe", "\xe7\xa9\xba/", "\xe8\xa1\xa8/",
                                        "\xe8\xa1\xa8/a.ini", "\xe8\xa1\xa8/ro.txt"}));
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.path);
        const std::string out = temp.Join(std::string("x/out/") + e.path);
        struct stat st;
        ASSERT_EQ(lstat(out.c_str(), &st), 0);
        // The builder stores the last-write time as the last-access time.
        EXPECT_EQ(st.st_mtim.tv_sec, e.seconds);
        EXPECT_EQ(st.st_mtim.tv_nsec, 7654300);
        if (e.folder)
            continue; // listing the folders has moved their access times
        EXPECT_EQ(st.st_atim.tv_sec, e.seconds);
        std::string was, now;
        ASSERT_TRUE(TestFolder::ReadFile(temp.Join(std::string("src/") + e.path), &was));
        ASSERT_TRUE(TestFolder::ReadFile(out, &now));
        EXPECT_TRUE(was == now);
        EXPECT_EQ((st.st_mode & 0222) == 0, std::string(e.path).find("ro.txt") != std::string::npos) << st.st_mode;
    }
    r = Build({"-q", "--extract", temp.Join("x/quiet"), installer});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");

    // Where it will not unpack.
    ASSERT_TRUE(temp.MakeFolder("x/empty"));
    ASSERT_TRUE(temp.WriteFile("x/file", "f"));
    ASSERT_EQ(symlink(temp.Join("x/out").c_str(), temp.Join("x/link-to-full").c_str()), 0);
    struct Refusal {
        const char* dir;
        int status;
        const char* says;
    } refusals[] = {
        {"x/out", 1, "x/out: not empty; --extract unpacks into a new or empty folder only"},
        {"x/link-to-full", 1, "not empty"},
        {"x/file", 1, "x/file: not a folder"},
        {"x/missing/out", 1, "x/missing/out: cannot make the folder"},
        {"x/empty", 0, "unpacked into"},
    };
    for (const Refusal& c : refusals) {
        SCOPED_TRACE(c.dir);
        r = Build({"--extract", temp.Join(c.dir), installer});
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    }
    EXPECT_EQ(TreeNames(temp.Join("x/out")).size(), 6u);
    r = Build({"--extract", temp.Join("x/two"), installer, installer});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("unexpected argument"), std::string::npos) << r.output;
    r = Build({"--extract", temp.Join("x/none")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("--extract DIR needs the installer"), std::string::npos) << r.output;
}

// Nothing is ever written outside DIR: names that would leave it or name a
// device are refused before anything is written (the payload is checked
// whole first), links planted inside DIR while it is written are never
// followed, and a file that turns out damaged is removed.
TEST_F(Builder, ExtractsNothingOutsideTheFolder)
{
    ASSERT_TRUE(temp.MakeFolder("x"));
    for (const HostileInstaller& c : HostileInstallers()) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(temp.WriteFile("x/case.exe", c.bytes));
        Result r = Build({"--extract", temp.Join("x/out"), temp.Join("x/case.exe")});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_EQ(TreeNames(temp.Path()), (std::vector<std::string>{"out/", "src/", "stub.exe", "x/", "x/case.exe"}));
        r = Build({"--verify", temp.Join("x/case.exe")});
        EXPECT_EQ(r.status, 1);
    }
    // Without check lines: unpacked, and said to be unchecked.
    ASSERT_TRUE(temp.WriteFile("x/old.exe", OtherInstaller([](PayloadWriter& w) {
                                   w.SetCheckLines(false);
                                   w.File("run.exe", "MZ", 2, FileAttributeRecord());
                                   w.Up();
                               })));
    Result r = Build({"--extract", temp.Join("x/old"), temp.Join("x/old.exe")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("unchecked: 1 files and 0 folders unpacked, but only 0 files have a check line"),
              std::string::npos) << r.output;
    EXPECT_EQ(TreeNames(temp.Join("x/old")), std::vector<std::string>{"run.exe"});

    // Links planted under the names of the entries to come, as another
    // process of the user could while the folder is written.
    ASSERT_TRUE(temp.MakeFolder("outside"));
    ASSERT_TRUE(temp.WriteFile("outside/kept.txt", "keep"));
    NameCodec codec;
    Extractor extractor(codec, Inspector::kArchiveRoot);
    ASSERT_TRUE(extractor.Begin(temp.Join("x/links"))) << extractor.Error();
    for (const char* name : {"folder", "kept", "new"}) {
        const std::string target = temp.Join(std::string("outside/") + (std::strcmp(name, "kept") == 0 ? "kept.txt" : ""));
        ASSERT_EQ(symlink((std::strcmp(name, "new") == 0 ? temp.Join("outside/new.txt") : target).c_str(),
                          temp.Join(std::string("x/links/") + name).c_str()), 0);
    }
    EXPECT_FALSE(extractor.CreateFolder("C:\\qm\\folder"));
    EXPECT_NE(extractor.Error().find("folder: cannot make the folder"), std::string::npos) << extractor.Error();
    EXPECT_FALSE(extractor.OpenFile("C:\\qm\\kept"));
    EXPECT_NE(extractor.Error().find("kept: cannot make the file (is its name taken?): "), std::string::npos);
    EXPECT_FALSE(extractor.OpenFile("C:\\qm\\new"));
    EXPECT_EQ(TreeNames(temp.Join("outside")), std::vector<std::string>{"kept.txt"});
    std::string kept;
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("outside/kept.txt"), &kept));
    EXPECT_EQ(kept, "keep");
    // The file that the read fails on goes.
    ASSERT_TRUE(extractor.OpenFile("C:\\qm\\damaged"));
    EXPECT_EQ(extractor.WriteFile(reinterpret_cast<const uint8_t*>("bad"), 3), 3);
    EXPECT_TRUE(extractor.CloseFile());
    EXPECT_TRUE(extractor.ApplyFile("C:\\qm\\damaged", FileAttributeRecord()));
    EXPECT_EQ(extractor.Discard(), "damaged");
    EXPECT_EQ(TreeNames(temp.Join("x/links")), (std::vector<std::string>{"folder@", "kept@", "new@"}));
}

// What the launcher could not unpack is refused: exit status 1, a message
// naming the cause, and the old output untouched, no temporary file left.
TEST_F(Builder, RefusesWhatTheLauncherCannotHandle)
{
    using Setup = std::function<bool(TestFolder&, std::vector<std::string>&)>;
    auto file = [](const char* path) {
        return Setup([path](TestFolder& t, std::vector<std::string>&) { return t.WriteFile(std::string("src/") + path, "x"); });
    };
    auto installer = [](const char* name) {
        return Setup([name](TestFolder&, std::vector<std::string>& a) { a[5] = name; return true; });
    };
    auto stub = [](TestStub s) {
        return Setup([s](TestFolder& t, std::vector<std::string>&) { return t.WriteFile("stub.exe", s.Bytes()); });
    };
    // Behind a stub that reads UTF-8 names, as this project's own.
    auto utf8Files = [](std::vector<std::string> paths) {
        return Setup([paths](TestFolder& t, std::vector<std::string>&) {
            TestStub capable;
            capable.widePaths = capable.utf8Names = true;
            bool made = t.WriteFile("stub.exe", capable.Bytes());
            for (const std::string& path : paths)
                made = made && (path.back() == '/' ? t.MakeFolder("src/" + path) : t.WriteFile("src/" + path, "x"));
            return made;
        });
    };
    TestStub twoBlocks, noBlock, signedStub;
    twoBlocks.blocks = 2;
    noBlock.blocks = 0;
    signedStub.alreadySigned = true;
    // 25 and 13 * 2 bytes: one too many; 12 * 2 fits (see the test below).
    std::string kanji13;
    for (int i = 0; i < 13; ++i)
        kanji13 += "\xe8\xa1\xa8";

    struct Case {
        const char* why;
        Setup setup;
        const char* message;
    } cases[] = {
        {"installer name of 25 bytes", installer("abcdefghijklmnopqrstu.exe"), "is 25 bytes in Shift-JIS; the stub holds at most 24"},
        {"installer name of 13 kanji", Setup([&kanji13](TestFolder& t, std::vector<std::string>& a) {
             a[5] = kanji13;
             return t.WriteFile("src/" + kanji13, "x");
         }),
         "is 26 bytes in Shift-JIS"},
        {"installer missing", installer("missing.exe"), "the installer \"missing.exe\" is not a file at the top of"},
        {"installer in another case", installer("LVXRUN.EXE"), "is not a file at the top of"},
        {"installer is a folder", Setup([](TestFolder& t, std::vector<std::string>& a) {
             a[5] = "tools";
             return t.MakeFolder("src/tools");
         }),
         "is not a file at the top of"},
        {"installer in a sub-folder", installer("data/lvxrun.exe"), "is not a plain file name"},
        {"installer name not in code page 932", installer("caf\xc3\xa9.exe"), "cannot be written in code page 932"},
        {"device name", file("CON.txt"), "src/CON.txt: Windows cannot use this name"},
        {"device name, any case", file("lpt1"), "src/lpt1: Windows cannot use this name"},
        {"trailing dot", file("name."), "src/name.: Windows cannot use this name"},
        {"trailing blank", file("name "), "src/name : Windows cannot use this name"},
        {"colon", file("a:b"), "src/a:b: Windows cannot use this name"},
        {"backslash, which POSIX allows", file("a\\b"), "src/a\\b: Windows cannot use this name"},
        {"wildcard", file("a*"), "Windows cannot use this name"},
        {"quote", file("a\"b"), "Windows cannot use this name"},
        {"control byte", file("tab\there"), "Windows cannot use this name"},
        {"line feed", file("line\nfeed"), "Windows cannot use this name"},
        {"not in code page 932, for a stub that reads no UTF-8 names", file("caf\xc3\xa9.txt"),
         "src/caf\xc3\xa9.txt: this name and any other that code page 932 cannot hold go into the payload in UTF-8, "
         "which the stub"},
        {"yen sign, which would read back as a backslash, for that stub", file("\xc2\xa5.txt"), "cannot read"},
        {"not UTF-8", file("\xff.txt"), "src/\xff.txt: the name is not valid UTF-8"},
        {"not UTF-8 among UTF-8 names", utf8Files({"\xc3\xa9.txt", "a\xed\xa0\x80.txt"}), "is not valid UTF-8"},
        {"device name with a superscript digit", utf8Files({"COM\xc2\xb9.txt"}),
         "src/COM\xc2\xb9.txt: Windows cannot use this name"},
        {"UTF-8 name with a trailing dot", utf8Files({"R\xc3\xa9sum\xc3\xa9."}), "Windows cannot use this name"},
        {"UTF-8 name with a colon", utf8Files({"\xc3\xa9:b"}), "Windows cannot use this name"},
        {"accented letters the same but for case", utf8Files({"\xc3\x84.txt", "\xc3\xa4.txt"}), "to be the same"},
        {"Cyrillic folders the same but for case", utf8Files({"\xd0\x94\xd0\xb0/", "\xd0\xb4\xd0\x90/"}),
         "to be the same"},
        {"installer name not in code page 932 among UTF-8 names", Setup([&utf8Files](TestFolder& t, std::vector<std::string>& a) {
             a[5] = "\xed\x95\x9c.exe";
             return utf8Files({"\xed\x95\x9c.exe"})(t, a);
         }),
         "cannot be written in code page 932"},
        {"deep bad name", file("data/sub/NUL"), "src/data/sub/NUL: Windows cannot use this name"},
        {"same name but for case", Setup([](TestFolder& t, std::vector<std::string>&) {
             return t.WriteFile("src/Readme.txt", "1") && t.WriteFile("src/README.TXT", "2");
         }),
         "to be the same (case does not count)"},
        {"file and folder the same but for case", Setup([](TestFolder& t, std::vector<std::string>&) {
             return t.WriteFile("src/data", "1") && t.MakeFolder("src/DATA");
         }),
         "to be the same"},
        {"full-width letters the same but for case", Setup([](TestFolder& t, std::vector<std::string>&) {
             return t.WriteFile("src/\xef\xbd\x81", "1") && t.WriteFile("src/\xef\xbc\xa1", "2");
         }),
         "to be the same"},
        {"link to a file", Setup([](TestFolder& t, std::vector<std::string>&) {
             return symlink("lvxrun.exe", t.Join("src/link.exe").c_str()) == 0;
         }),
         "src/link.exe: a link (links are not followed"},
        {"link to a folder", Setup([](TestFolder& t, std::vector<std::string>&) {
             return t.MakeFolder("elsewhere") && symlink("../elsewhere", t.Join("src/data").c_str()) == 0;
         }),
         "src/data: a link"},
        {"dangling link", Setup([](TestFolder& t, std::vector<std::string>&) {
             return symlink("nowhere", t.Join("src/gone").c_str()) == 0;
         }),
         "src/gone: a link"},
        {"named pipe", Setup([](TestFolder& t, std::vector<std::string>&) {
             return mkfifo(t.Join("src/pipe").c_str(), 0644) == 0;
         }),
         "src/pipe: neither a file nor a folder"},
        {"file of 2 GiB", Setup([](TestFolder& t, std::vector<std::string>&) {
             return t.WriteFile("src/huge.bin", "") && truncate(t.Join("src/huge.bin").c_str(), 0x80000000LL) == 0;
         }),
         "src/huge.bin: 2 GiB or larger"},
        {"stub with two settings blocks", stub(twoBlocks), "holds the settings block 2 times; it must hold it once"},
        {"stub without a settings block", stub(noBlock), "holds no untouched settings block"},
        {"stub already signed", stub(signedStub), "is already signed"},
        {"stub not a program", Setup([](TestFolder& t, std::vector<std::string>&) {
             return t.WriteFile("stub.exe", std::string(StubSettings::kDefaultBlock, 50) + std::string(100, 'x'));
         }),
         "not a Windows program"},
        {"stub missing", Setup([](TestFolder&, std::vector<std::string>& a) {
             a[1] += ".gone";
             return true;
         }),
         "cannot open"},
        {"source is a file", Setup([](TestFolder& t, std::vector<std::string>& a) {
             a[3] = t.Join("src/lvxrun.exe");
             return true;
         }),
         "lvxrun.exe: not a folder"},
        {"output inside the source", Setup([](TestFolder& t, std::vector<std::string>& a) {
             a[7] = t.Join("src/setup.exe");
             return true;
         }),
         "lies inside the folder being packed"},
        {"output folder missing", Setup([](TestFolder& t, std::vector<std::string>& a) {
             a[7] = t.Join("nowhere/setup.exe");
             return true;
         }),
         "cannot create a temporary file beside"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TestFolder t("builder-refuse");
        ASSERT_TRUE(t.WriteFile("stub.exe", TestStub().Bytes()));
        ASSERT_TRUE(t.WriteFile("src/lvxrun.exe", "MZ"));
        ASSERT_TRUE(t.WriteFile("out/setup.exe", "the old one"));
        std::vector<std::string> args = {"--stub", t.Join("stub.exe"), "--source", t.Join("src"), "--installer",
                                         "lvxrun.exe", "--output", t.Join("out/setup.exe")};
        ASSERT_TRUE(c.setup(t, args));
        std::vector<std::string> argv = {QM_BUILD_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string output;
        EXPECT_EQ(ChildProcess::Run(argv, output), 1);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_EQ(output.compare(0, 17, "qm-build: error: "), 0) << output;
        std::string old;
        EXPECT_TRUE(TestFolder::ReadFile(t.Join("out/setup.exe"), &old));
        EXPECT_EQ(old, "the old one");
        EXPECT_EQ(FolderNames(t.Join("out")), std::vector<std::string>{"setup.exe"});
    }
}

// The limits themselves are allowed: a 24-byte name, 12 double-byte
// characters, a 1-byte name, a file name of 221 characters (the longest
// that fits within Windows' 259 under the shortest work folder, 38 bytes
// at the root of a drive); one more is refused.
TEST_F(Builder, AcceptsTheLimits)
{
    std::string kanji12;
    for (int i = 0; i < 12; ++i)
        kanji12 += "\xe8\xa1\xa8";
    for (const std::string& name : {std::string("abcdefghijklmnopqrst.exe"), kanji12, std::string("x")}) {
        TestFolder t("builder-limits");
        ASSERT_TRUE(t.WriteFile("stub.exe", TestStub().Bytes()));
        ASSERT_TRUE(t.WriteFile("src/" + name, "MZ"));
        ASSERT_TRUE(t.WriteFile("src/" + std::string(221, 'n'), "long"));
        std::vector<std::string> argv = {QM_BUILD_TOOL, "-q", "--stub", t.Join("stub.exe"), "--source", t.Join("src"),
                                         "--installer", name, "--output", t.Join("setup.exe")};
        std::string output;
        ASSERT_EQ(ChildProcess::Run(argv, output), 0) << output;
        Installer in = Installer::Read(t.Join("setup.exe"));
        ASSERT_TRUE(in.dump.ok);
        EXPECT_EQ(in.installerName.size(), name == kanji12 ? 24u : name.size());
    }
    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    ASSERT_TRUE(Src(std::string(222, 'n'), "long"));
    Result r = Build(Args());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(": the path will be at least 260 bytes long on any machine"), std::string::npos) << r.output;

    // UTF-8 names count as Windows counts them there, in UTF-16 units: a
    // path of 221 (100 + 1 + 100 + 1 + 19, nearly all "é", 2 bytes each)
    // fits, one more does not.
    TestStub capable;
    capable.widePaths = capable.utf8Names = true;
    ASSERT_TRUE(temp.WriteFile("stub.exe", capable.Bytes()));
    auto accents = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += "\xc3\xa9";
        return text;
    };
    const std::string folders = accents(100) + "/" + accents(100) + "/";
    ASSERT_EQ(unlink(temp.Join("src/" + std::string(222, 'n')).c_str()), 0);
    ASSERT_TRUE(Src(folders + accents(19), "long"));
    r = Build(Args("lvxrun.exe", "out/accents.exe"));
    EXPECT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(Src(folders + accents(20), "longer"));
    r = Build(Args("lvxrun.exe", "out/accents.exe"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(": the path will be at least 260 UTF-16 units long on any machine"), std::string::npos)
        << r.output;
}

// Every problem is reported, not just the first.
TEST_F(Builder, ListsEveryProblemAtOnce)
{
    ASSERT_TRUE(Src("a.", "1"));
    ASSERT_TRUE(Src("d/CON", "2"));
    ASSERT_EQ(symlink("x", temp.Join("src/l").c_str()), 0);
    Result r = Build(Args("missing.exe"));
    EXPECT_EQ(r.status, 1);
    for (const char* part : {"src/a.:", "src/d/CON:", "src/l:", "\"missing.exe\""})
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
}

// A path that is likely too long under a user's work folder is a warning,
// not a refusal; --quiet drops it.
TEST_F(Builder, WarnsAboutLongPaths)
{
    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    std::string deep = std::string(60, 'a') + "/" + std::string(60, 'b') + "/" + std::string(60, 'c');
    ASSERT_TRUE(Src(deep, "x"));
    Result r = Build(Args());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("qm-build: warning: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(std::string(60, 'c') + ": the path will be about 281 bytes"), std::string::npos) << r.output;
    // The folder above it (220 bytes) is within the limit for folders, 247.
    EXPECT_EQ(r.output.find(std::string(60, 'b') + ": the path"), std::string::npos) << r.output;
    std::vector<std::string> quiet = Args("lvxrun.exe", "out/quiet.exe");
    quiet.push_back("--quiet");
    r = Build(quiet);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
}

// Names that are not plain ASCII unpack right only where the ANSI code page
// is 932: a warning that says so, not a refusal; none for an ASCII tree.
TEST_F(Builder, WarnsAboutNamesThatAreNotAscii)
{
    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    ASSERT_TRUE(Src("plain/readme.txt", "x"));
    Result r = Build(Args());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.find("ASCII"), std::string::npos) << r.output;

    ASSERT_TRUE(Src("データ/表示.ini", "y"));
    r = Build(Args("lvxrun.exe", "out/japanese.exe"));
    EXPECT_EQ(r.status, 0);
    for (const char* part : {"qm-build: warning: ", "src/データ and 1 more names are not plain ASCII",
                             "ANSI code page is 932", "0x5C"})
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
}

// A stub that takes its paths as wide ones where the ANSI code page would
// garble them (this project's own) unpacks such names right everywhere:
// nothing to warn about, and --werror has nothing to refuse.
TEST_F(Builder, SaysNothingAboutNamesToAStubThatTakesWidePaths)
{
    TestStub wide;
    wide.widePaths = true;
    ASSERT_TRUE(temp.WriteFile("stub.exe", wide.Bytes()));
    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    ASSERT_TRUE(Src("データ/表示.ini", "y"));
    std::vector<std::string> strict = Args();
    strict.push_back("--werror");
    Result r = Build(strict);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
}

TEST_F(Builder, TalksConventionally)
{
    Result r = Build({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.compare(0, 16, "Usage: qm-build "), 0) << r.output;
    r = Build({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("--stub is required"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Try 'qm-build --help'"), std::string::npos) << r.output;
    r = Build({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.compare(0, 9, "qm-build "), 0);

    ASSERT_TRUE(Src("lvxrun.exe", "MZ"));
    ASSERT_TRUE(Src("data/a.ini", ""));
    std::vector<std::string> verbose = Args();
    verbose.push_back("--verbose");
    r = Build(verbose);
    EXPECT_EQ(r.status, 0);
    for (const char* line : {"D ", "src/data\n", "F ", "src/data/a.ini (0 bytes)\n", "wrote ", "2 files, 1 folders"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}

// The builder checks what the signing tool did before it puts the result in
// place: stand-in tools that behave well or badly (the stub's certificate
// entry lies at byte 216).
TEST_F(Builder, ChecksWhatTheSigningToolDid)
{
    const std::string head =
        "#!/bin/sh\n"
        "while [ $# -gt 0 ]; do case $1 in -in) in=$2; shift;; -out) out=$2; shift;; esac; shift; done\n"
        "le() { printf \"$(printf '\\\\%03o\\\\%03o\\\\%03o\\\\%03o' $(($1&255)) $(($1>>8&255)) $(($1>>16&255)) "
        "$(($1>>24&255)))\"; }\n"
        "put() { le $2 | dd of=\"$out\" bs=1 seek=$1 conv=notrunc status=none; }\n"
        "size=$(stat -c %s \"$in\")\n"
        "cp \"$in\" \"$out\"\n";
    const std::string append = "printf '0123456789abcdef' >> \"$out\"\n";
    struct Case {
        const char* why;
        std::string body;
        int status;
        const char* message;
    } cases[] = {
        {"a table appended and entered", append + "put 216 $size; put 220 16\n", 0, ""},
        {"a payload byte changed", append + "put 216 $size; put 220 16\nprintf Z | dd of=\"$out\" bs=1 seek=2000 conv=notrunc status=none\n",
         1, "changed the installer beyond appending its signature"},
        {"the table over the payload's end", "put 216 $((size-16)); put 220 16\n", 1, "changed the installer beyond"},
        {"a table that does not end the file", append + append + "put 216 $size; put 220 16\n", 1, "changed the installer beyond"},
        {"no table", "", 1, "left no certificate table"},
        {"a failure", "exit 3\n", 1, "failed (exit status 3)"},
        {"no output", "rm \"$out\"\n", 1, "cannot read the signed installer back"},
    };
    ASSERT_TRUE(Src("lvxrun.exe", NoiseBytes(3000, 1)));
    ASSERT_TRUE(temp.WriteFile("cert.pem", "unused") && temp.WriteFile("key.pem", "unused"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_TRUE(temp.WriteFile("signer.sh", head + c.body));
        ASSERT_EQ(chmod(temp.Join("signer.sh").c_str(), 0755), 0);
        std::vector<std::string> args = Args("lvxrun.exe", "out/signed.exe");
        for (const std::string& a : {std::string("--sign-cert"), temp.Join("cert.pem"), std::string("--sign-key"),
                                     temp.Join("key.pem"), std::string("--sign-tool"), temp.Join("signer.sh")})
            args.push_back(a);
        Result r = Build(args);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_EQ(FolderNames(temp.Join("out")), c.status == 0 ? std::vector<std::string>{"signed.exe"} : std::vector<std::string>{});
        if (c.status == 0) {
            Installer in = Installer::Read(temp.Join("out/signed.exe"));
            EXPECT_TRUE(in.dump.ok) << in.dump.error;
            unlink(temp.Join("out/signed.exe").c_str());
        }
    }
    Result r = Build([&] {
        std::vector<std::string> a = Args();
        for (const char* x : {"--sign-cert", "c", "--sign-key", "k", "--sign-tool", "/nonexistent/signer"})
            a.push_back(x);
        return a;
    }());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("signing failed: cannot start /nonexistent/signer"), std::string::npos) << r.output;
}

// Other ways to sign: a PKCS#12 file with description and URL for
// osslsigncode, and a signing command of the user's (one that writes a new
// file, one that signs in place as signtool does).
TEST_F(Builder, SignsWithPkcs12OrACommand)
{
    ASSERT_TRUE(Src("lvxrun.exe", NoiseBytes(3000, 1)));
    ASSERT_TRUE(temp.WriteFile("recorder.sh", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/args.txt\"\nexit 3\n"));
    ASSERT_EQ(chmod(temp.Join("recorder.sh").c_str(), 0755), 0);
    std::vector<std::string> args = Args();
    for (const std::string& a : {std::string("--sign-pkcs12"), std::string("p.pfx"), std::string("--sign-description"),
                                 std::string("Sample Setup"), std::string("--sign-url=https://example.org/"),
                                 std::string("--sign-tool"), temp.Join("recorder.sh")})
        args.push_back(a);
    Result r = Build(args);
    EXPECT_EQ(r.status, 1);
    std::string recorded;
    ASSERT_TRUE(TestFolder::ReadFile(temp.Join("args.txt"), &recorded));
    EXPECT_EQ(recorded.find("sign -pkcs12 p.pfx -h sha256 -n Sample Setup -i https://example.org/ -in "), 0u) << recorded;

    // A well-behaved signer: appends a 16-byte table and enters it (the
    // stub's certificate entry lies at byte 216).
    const std::string sign =
        "le() { printf \"$(printf '\\\\%03o\\\\%03o\\\\%03o\\\\%03o' $(($1&255)) $(($1>>8&255)) $(($1>>16&255)) "
        "$(($1>>24&255)))\"; }\n"
        "put() { le $2 | dd of=\"$out\" bs=1 seek=$1 conv=notrunc status=none; }\n"
        "size=$(stat -c %s \"$out\")\n"
        "printf '0123456789abcdef' >> \"$out\"\nput 216 $size; put 220 16\n";
    ASSERT_TRUE(temp.WriteFile("copy-and-sign.sh", "in=$1; out=$2; cp \"$in\" \"$out\"\n" + sign));
    ASSERT_TRUE(temp.WriteFile("sign-in-place.sh", "out=$1\n" + sign));
    for (const std::string& command : {"sh '" + temp.Join("copy-and-sign.sh") + "' {in} {out}",
                                       "sh '" + temp.Join("sign-in-place.sh") + "' {out}"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> a = Args("lvxrun.exe", "out/signed.exe");
        a.insert(a.end(), {"--sign-command", command});
        r = Build(a);
        EXPECT_EQ(r.status, 0) << r.output;
        Installer in = Installer::Read(temp.Join("out/signed.exe"));
        EXPECT_TRUE(in.dump.ok) << in.dump.error;
        EXPECT_EQ(in.bytes.size() % 8192, 1024u + 16u); // stub, padded payload, table
        unlink(temp.Join("out/signed.exe").c_str());
    }
}

} // namespace
