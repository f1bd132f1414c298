// Extraction of a payload into the work folder against the real Windows
// functions (under Wine in CI): the tree on disk, the one message shown (or
// none), what stays after a failure, and that nothing outside the work
// folder is touched. Every tree lies in a scratch folder on C:.
//
// Wine cannot set a creation time (it reports the last-write time as the
// creation time), so creation times are checked only on Windows itself;
// last-write and last-access times are exact to 100 ns there too.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <zlib.h>

#include "launcher/ExitStatus.h"
#include "launcher/Extract.h"
#include "launcher/Launch.h"
#include "launcher/Messages.h"
#include "launcher/WorkFolder.h"
#include "launcher/WorkFolderChain.h"
#include "payload/PayloadWriter.h"
#include "payload/StubSettings.h"
#include "support/RCPath.h"
#include "support/WinHandle.h"
#include "tests/shared/StringSink.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestBytes.h"
#include "tests/win/ExtractionSite.h"
#include "tests/win/RecordingUi.h"
#include "tests/win/TreeSnapshot.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"

using testwin::Attributes;
using testwin::Exists;
using testwin::FileTimeOf;
using testwin::IsFolder;
using testwin::OwnFile;

using testkit::MakePayload;
using testkit::Record;
using testkit::kHyo;
using testkit::kNouryoku;
using testkit::kSoft;

namespace {


// Attribute bits that survive on disk under Wine as well as on Windows
// (Wine always reports archive for files and keeps only hidden and system
// on folders).
constexpr DWORD kKeptBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_DIRECTORY;

// A time that SetFileTime refuses (negative as a 64-bit count).
constexpr uint64_t kBadTime = 0x8000000000000000ull;

// Junk that stands in for the stub image; its last byte is no zlib header.
std::string Stub()
{
    return "MZ" + NoiseBytes(3000, 7) + "Z";
}

// The tree as text: "path\" for folders, "path=content" for files, a line each.
std::string Describe(const TreeSnapshot& tree)
{
    std::string text;
    for (const auto& entry : tree.Entries())
        text += entry.first + (entry.second.folder ? "\\" : "=" + entry.second.content) + "\n";
    return text;
}

const char* MessageName(const std::string& text)
{
    const std::pair<const char*, const char*> known[] = {
        {Messages::kFolderFailed, "work folder cannot be created"},
        {Messages::kDamaged, "file is damaged"},
        {Messages::kFileCreateFailed, "work file cannot be created"},
        {Messages::kFileWriteFailed, "cannot write to the work file"},
        {Messages::kAttributesFailed, "attributes cannot be set"},
    };
    for (const auto& k : known) {
        if (text == k.first)
            return k.second;
    }
    return "an unknown text";
}

// A file held open without sharing delete, so that nobody can remove it.
class HeldFile {
public:
    explicit HeldFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile()
    {
        if (Held())
            CloseHandle(handle_);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

class Extraction : public ::testing::Test {
protected:
    // Puts the payload behind the stub in a combined file and extracts it.
    bool Extract(const std::string& payload, const std::string& stub = Stub())
    {
        combined = site.Write("combined.exe", stub + payload);
        EXPECT_FALSE(combined.empty());
        return ExtractAt(static_cast<int32_t>(stub.size()));
    }

    // Extracts from the combined file at offset with a fresh recorder, and
    // checks that nothing outside the work folder (and skip) changed.
    bool ExtractAt(int32_t offset, const std::set<std::string>& skip = {})
    {
        ui.shown.clear();
        ui.passes = 0;
        TreeSnapshot before = site.Outside(skip);
        bool ok = ExtractPayload(ui, combined.c_str(), offset, site.WorkFolder().c_str());
        EXPECT_EQ(site.Outside(skip).ChangesSince(before), "") << "outside the work folder";
        return ok;
    }

    // Exactly the message expected was shown, as an error from the
    // application, or none for null.
    void ExpectMessage(const char* expected) const
    {
        if (expected == nullptr) {
            EXPECT_TRUE(ui.shown.empty()) << "shown: " << MessageName(ui.shown.front().text);
            return;
        }
        ASSERT_EQ(ui.shown.size(), 1u) << "expected: " << MessageName(expected);
        const RecordingUi::Shown& shown = ui.shown.front();
        EXPECT_EQ(shown.text, expected) << MessageName(shown.text) << " instead of " << MessageName(expected);
        EXPECT_EQ(shown.caption, Messages::kErrorCaption);
        EXPECT_EQ(shown.style, 16u);
        EXPECT_EQ(shown.owner, nullptr);
    }

    void RemoveWorkFolder() const { TestFolder::RemoveAll(site.WorkFolder()); }

    ExtractionSite site{"extract"};
    RecordingUi ui;
    std::string combined;
};

struct Expected {
    bool folder;
    DWORD attributes;
    std::string content;
    FileAttributeRecord record;
    bool checkTimes;
};

TEST_F(Extraction, ArchiveBecomesTheTreeWithAttributesAndTimes)
{
    const std::string bmp = "BM\x01\x02\x03";
    const std::string big = NoiseBytes(20000, 1) + std::string(70000, 'q') + NoiseBytes(5000, 2);
    const std::string exe = NoiseBytes(1024, 3);
    const std::string hidden = "hidden text\r\n";
    const FileAttributeRecord rBmp = Record(0x20, 0), rData = Record(0x10, 1), rIni = Record(0x21, 2),
                              rHyo = Record(0x12, 3), rSoft = Record(0x20, 4), rNou = Record(0x22, 5),
                              rExe = Record(0x20, 6), rSys = Record(0x24, 7);
    std::string payload = MakePayload([&](PayloadWriter& w) {
        w.File("setup.bmp", bmp.data(), 5, rBmp);
        w.Folder("data", rData);
        w.File("a.ini", nullptr, 0, rIni); // read-only and empty
        w.Folder(kHyo.c_str(), rHyo);     // hidden and empty
        w.Up();
        w.File((kSoft + ".dat").c_str(), big.data(), static_cast<int64_t>(big.size()), rSoft);
        w.File((kNouryoku + ".txt").c_str(), hidden.data(), static_cast<int64_t>(hidden.size()), rNou);
        w.Up();
        w.Line("comment"); // an unknown tag line is skipped
        w.File("lvxrun.exe", exe.data(), 1024, rExe);
        w.File("system.dat", "s", 1, rSys);
        w.Up();
    });
    ASSERT_TRUE(Extract(payload));
    ExpectMessage(nullptr);
    EXPECT_EQ(ui.passes, 19); // one pass of message handling before every tag line, check lines included

    // A folder's times change as entries are made in it; its record is
    // applied again when it is closed, so it ends with the archive's times.
    const std::map<std::string, Expected> expected = {
        {"setup.bmp", {false, 0, bmp, rBmp, true}},
        {"data", {true, FILE_ATTRIBUTE_DIRECTORY, "", rData, true}},
        {"data\\a.ini", {false, FILE_ATTRIBUTE_READONLY, "", rIni, true}},
        {"data\\" + kHyo, {true, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, "", rHyo, true}},
        {"data\\" + kSoft + ".dat", {false, 0, big, rSoft, true}},
        {"data\\" + kNouryoku + ".txt", {false, FILE_ATTRIBUTE_HIDDEN, hidden, rNou, true}},
        {"lvxrun.exe", {false, 0, exe, rExe, true}},
        {"system.dat", {false, FILE_ATTRIBUTE_SYSTEM, "s", rSys, true}},
    };
    TreeSnapshot tree = site.Work();
    std::string names;
    for (const auto& e : expected)
        names += e.first + (e.second.folder ? "\\" : "") + "\n";
    EXPECT_EQ(tree.Listing(), names);
    const bool wine = testwin::IsWine();
    for (const auto& e : expected) {
        SCOPED_TRACE(e.first);
        const TreeEntry* got = tree.Find(e.first);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->folder, e.second.folder);
        EXPECT_EQ(got->attributes & kKeptBits, e.second.attributes);
        EXPECT_TRUE(got->content == e.second.content);
        if (!e.second.checkTimes)
            continue;
        EXPECT_EQ(got->written, e.second.record.lastWriteTime);
        EXPECT_EQ(got->accessed, e.second.record.lastAccessTime);
        if (!wine) {
            EXPECT_EQ(got->created, e.second.record.creationTime);
        }
    }
}

TEST_F(Extraction, ArchiveCases)
{
    const std::string zeros(28, '\0');
    // A whole archive in a finished zlib stream: the one step that holds
    // it fails, so not even the first record arrives.
    const std::string archive = "F\r\nf\r\n1\r\nx" + zeros + "U\r\n";
    std::string finished(compressBound(static_cast<uLong>(archive.size())), '\0');
    uLongf finishedLength = static_cast<uLongf>(finished.size());
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&finished[0]), &finishedLength,
                        reinterpret_cast<const Bytef*>(archive.data()), static_cast<uLong>(archive.size()), 9),
              Z_OK);
    finished.resize(finishedLength);
    const std::string onlyU = MakePayload([](PayloadWriter& w) { w.Up(); });

    struct Case {
        const char* what;
        std::string payload;
        bool ok;
        const char* message;
        std::string tree;
    };
    const Case cases[] = {
        {"only the closing U: an empty work folder", onlyU, true, nullptr, ""},
        {"a folder's U missing: damaged, what was made stays",
         MakePayload([](PayloadWriter& w) { w.Folder("d", Record(0x10)); w.File("f", "x", 1, Record(0x20)); }),
         false, Messages::kDamaged, "d\\\nd\\f=x\n"},
        {"a U inside a folder closes only that folder",
         MakePayload([](PayloadWriter& w) { w.Folder("d", Record(0x10)); w.Up(); w.File("f", "a", 1, Record(0x20)); w.Up(); }),
         true, nullptr, "d\\\nf=a\n"},
        {"a file of size 0", MakePayload([](PayloadWriter& w) { w.File("e", nullptr, 0, Record(0x20)); w.Up(); }),
         true, nullptr, "e=\n"},
        {"a size line without digits is damage",
         MakePayload([&](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("abc"); w.Piece(zeros.data(), 28); w.Up(); }),
         false, Messages::kDamaged, ""},
        {"a size line that would wrap around to 5 in 32 bits is damage",
         MakePayload([&](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("4294967301"); w.Piece("abcde", 5);
                                             w.Piece(zeros.data(), 28); w.Up(); }),
         false, Messages::kDamaged, ""},
        {"content that differs from its check line: damaged, the file stays",
         MakePayload([&](PayloadWriter& w) { w.Line("C"); w.Line("F"); w.Line("f"); w.Line("3"); w.Piece("abc", 3);
                                             w.Piece(zeros.data(), 28); w.Line("C352441C3"); w.Up(); }),
         false, Messages::kDamaged, "f=abc\n"},
        {"a file without its check line where every file has one",
         MakePayload([&](PayloadWriter& w) { w.Line("C"); w.Line("F"); w.Line("f"); w.Line("3"); w.Piece("abc", 3);
                                             w.Piece(zeros.data(), 28); w.Up(); }),
         false, Messages::kDamaged, "f=abc\n"},
        {"an archive from before check lines",
         MakePayload([](PayloadWriter& w) { w.SetCheckLines(false); w.File("f", "abc", 3, Record(0x20)); w.Up(); }),
         true, nullptr, "f=abc\n"},
        {"a negative size: damaged, no file",
         MakePayload([&](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("-5"); w.Piece("abcde", 5);
                                             w.Piece(zeros.data(), 28); w.Up(); }),
         false, Messages::kDamaged, ""},
        {"unknown tag lines are skipped",
         MakePayload([](PayloadWriter& w) { w.Line("comment"); w.Line("u"); w.Line(""); w.File("f", "1", 1, Record(0x20)); w.Up(); }),
         true, nullptr, "f=1\n"},
        {"an empty file name names the folder itself",
         MakePayload([](PayloadWriter& w) { w.File("", "x", 1, Record(0x20)); w.Up(); }),
         false, Messages::kFileCreateFailed, ""},
        {"an empty folder name stays in the current folder",
         MakePayload([](PayloadWriter& w) { w.Folder("", Record(0x10)); w.File("f", "x", 1, Record(0x20)); w.Up(); w.Up(); }),
         true, nullptr, "f=x\n"},
        {"a finished zlib stream loses its records", finished, false, Messages::kDamaged, ""},
        {"garbage behind the closing U in the same raw piece", onlyU + "garbage", false, Messages::kDamaged, ""},
        {"more sync-flushed data behind the closing U is never read",
         MakePayload([](PayloadWriter& w) { w.Up(); w.Line("F"); w.Line("late"); }), true, nullptr, ""},
        {"content cut short: damaged, the file stays empty",
         MakePayload([](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("10"); w.Piece("abc", 3); }),
         false, Messages::kDamaged, "f=\n"},
        {"an attribute record cut short: damaged, the content stays",
         MakePayload([](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("1"); w.Piece("a", 1); w.Piece("12345", 5); }),
         false, Messages::kDamaged, "f=a\n"},
        {"a line over 4096 bytes is damage",
         MakePayload([](PayloadWriter& w) { w.Line("F"); w.Line(std::string(4097, 'n').c_str()); w.Line("0"); w.Up(); }),
         false, Messages::kDamaged, ""},
        {"a folder where a file stands",
         MakePayload([](PayloadWriter& w) { w.File("x", "1", 1, Record(0x20)); w.Folder("x", Record(0x10)); w.Up(); w.Up(); }),
         false, Messages::kFolderFailed, "x=1\n"},
        {"a file where a folder stands",
         MakePayload([](PayloadWriter& w) { w.Folder("x", Record(0x10)); w.Up(); w.File("x", "1", 1, Record(0x20)); w.Up(); }),
         false, Messages::kFileCreateFailed, "x\\\n"},
        {"a file time that cannot be set",
         MakePayload([](PayloadWriter& w) { w.File("f", "1", 1, Record(0x20, 1, 2, kBadTime)); w.Up(); }),
         false, Messages::kAttributesFailed, "f=1\n"},
        {"a folder time that cannot be set is no failure",
         MakePayload([](PayloadWriter& w) { w.Folder("d", Record(0x10, 1, 2, kBadTime)); w.Up(); w.Up(); }),
         true, nullptr, "d\\\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveWorkFolder();
        EXPECT_EQ(Extract(c.payload), c.ok);
        ExpectMessage(c.message);
        // After a failure the work folder stays, with what was made so far.
        EXPECT_TRUE(IsFolder(site.WorkFolder()));
        EXPECT_EQ(Describe(site.Work()), c.tree);
    }
}

TEST_F(Extraction, PayloadOffsets)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string stub = Stub();
    combined = site.Write("combined.exe", stub + payload);
    ASSERT_FALSE(combined.empty());
    const int32_t at = static_cast<int32_t>(stub.size());
    const int32_t end = static_cast<int32_t>(stub.size() + payload.size());

    struct Case {
        const char* what;
        int32_t offset;
        bool ok;
        const char* message;
        bool workFolder; // exists afterwards
        std::string tree;
    };
    const Case cases[] = {
        {"the right offset", at, true, nullptr, true, "f=x\n"},
        {"0: no payload, nothing done or said", 0, false, nullptr, false, ""},
        {"negative: the seek fails, nothing said", -1, false, nullptr, true, ""},
        {"the most negative", INT32_MIN, false, nullptr, true, ""},
        {"at the end of the file", end, false, Messages::kDamaged, true, ""},
        {"past the end of the file", end + 100, false, Messages::kDamaged, true, ""},
        {"one byte early", at - 1, false, Messages::kDamaged, true, ""},
        {"one byte late", at + 1, false, Messages::kDamaged, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveWorkFolder();
        EXPECT_EQ(ExtractAt(c.offset), c.ok);
        ExpectMessage(c.message);
        EXPECT_EQ(IsFolder(site.WorkFolder()), c.workFolder);
        EXPECT_EQ(Describe(site.Work()), c.tree);
    }

    // A combined file that cannot be opened: nothing said either.
    RemoveWorkFolder();
    combined = site.Scratch() + "\\missing.exe";
    EXPECT_FALSE(ExtractAt(at));
    ExpectMessage(nullptr);
    EXPECT_EQ(ui.exitStatus, ExitStatus::kOwnFileUnreadable);

    // The program's own path could not be told (too long for Windows'
    // answer): said, where it used to end in silence.
    RemoveWorkFolder();
    combined.clear();
    EXPECT_FALSE(ExtractAt(at));
    ExpectMessage(Messages::kDamaged);
    EXPECT_EQ(ui.exitStatus, ExitStatus::kOwnFileUnreadable);
}

TEST_F(Extraction, UnsafeNamesAreDamageAndCreateNothing)
{
    const char* unsafe[] = {
        ".", "..", "..\\evil.dll", "..\\..\\evil.dll", "a\\b", "\\abs", "a/b", "../evil.dll", "c:x", "C:",
        "f:stream", "a.", "a ", "a*", "a?", "CON", "con.txt", "PRN", "AUX", "NUL", "nul.txt", "COM1",
        "com9.dat", "LPT1", "LPT9.log", "CONIN$", "a\001b",
        // Of the right form, but not assigned in code page 932.
        "\x85\x40", "a\xEB\x40.txt",
    };
    for (const char* name : unsafe) {
        for (int kind = 0; kind < 3; ++kind) {
            // A file, a folder, and a file inside a folder that is made.
            SCOPED_TRACE(std::string(kind == 0 ? "file " : kind == 1 ? "folder " : "file in a folder ") + name);
            RemoveWorkFolder();
            std::string payload = MakePayload([&](PayloadWriter& w) {
                if (kind == 2)
                    w.Folder("sub", Record(0x10));
                if (kind == 1)
                    w.Folder(name, Record(0x10));
                else
                    w.File(name, "evil", 4, Record(0x20));
                w.Up();
            });
            EXPECT_FALSE(Extract(payload));
            ExpectMessage(Messages::kDamaged);
            EXPECT_EQ(Describe(site.Work()), kind == 2 ? "sub\\\n" : "");
        }
    }
}

TEST_F(Extraction, ShiftJisNamesWithABackslashByteStayWhole)
{
    const std::string names[] = {kHyo, "\x83\x5C", kNouryoku + ".txt", kHyo + "\x83\x5C"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        RemoveWorkFolder();
        std::string payload = MakePayload([&](PayloadWriter& w) {
            w.Folder(name.c_str(), Record(0x10));
            w.File(name.c_str(), "x", 1, Record(0x20));
            w.Up();
            w.Up();
        });
        EXPECT_TRUE(Extract(payload));
        ExpectMessage(nullptr);
        EXPECT_EQ(Describe(site.Work()), name + "\\\n" + name + "\\" + name + "=x\n");
    }
}

TEST_F(Extraction, AStaleWorkFolderIsReplaced)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string& work = site.WorkFolder();
    const std::string old = work.substr(site.Scratch().size() + 1);
    struct Case {
        const char* what;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"a folder with read-only, hidden and nested entries",
         [&] {
             ASSERT_FALSE(site.Write(old + "\\old.txt", "old").empty());
             ASSERT_FALSE(site.Write(old + "\\sub\\deep\\x.bin", "x").empty());
             ASSERT_FALSE(site.Write(old + "\\f", "the same name").empty());
             SetFileAttributesA((work + "\\old.txt").c_str(), FILE_ATTRIBUTE_READONLY);
             SetFileAttributesA((work + "\\sub\\deep\\x.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
             SetFileAttributesA((work + "\\f").c_str(), FILE_ATTRIBUTE_READONLY);
             SetFileAttributesA((work + "\\sub").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
         }},
        {"an empty folder", [&] { ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr)); }},
        {"a read-only file of the same name",
         [&] {
             ASSERT_FALSE(site.Write(old, "a file").empty());
             SetFileAttributesA(work.c_str(), FILE_ATTRIBUTE_READONLY);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveWorkFolder();
        c.prepare();
        EXPECT_TRUE(Extract(payload));
        ExpectMessage(nullptr);
        EXPECT_EQ(Describe(site.Work()), "f=x\n");
    }
}

TEST_F(Extraction, AWorkFolderThatCannotBeMade)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string& work = site.WorkFolder();
    const std::string parent = work.substr(0, work.rfind('\\'));
    {
        SCOPED_TRACE("every name that it may take is in use");
        std::vector<std::unique_ptr<FileHandle>> held;
        for (const char* suffix : {"", ".1", ".2", ".3", ".4", ".5", ".6", ".7", ".8", ".9"}) {
            const std::string name = work + suffix;
            TestFolder::RemoveAll(name);
            ASSERT_TRUE(CreateDirectoryA(name.c_str(), nullptr));
            held.emplace_back(new FileHandle(CreateFileA(name.c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
            ASSERT_TRUE(held.back()->Valid());
        }
        EXPECT_FALSE(Extract(payload));
        ExpectMessage(Messages::kFolderFailed);
        held.clear();
        for (const char* suffix : {".1", ".2", ".3", ".4", ".5", ".6", ".7", ".8", ".9"})
            TestFolder::RemoveAll(work + suffix);
    }
    {
        SCOPED_TRACE("a file in place of a parent folder");
        RemoveWorkFolder();
        TestFolder::RemoveAll(parent);
        ASSERT_FALSE(site.Write(parent.substr(site.Scratch().size() + 1), "in the way").empty());
        EXPECT_FALSE(Extract(payload));
        ExpectMessage(Messages::kFolderFailed);
        TestFolder::RemoveAll(parent);
        ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr));
    }
}

TEST_F(Extraction, MissingParentsOfTheWorkFolderAreMade)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string orvane = site.AppData() + "\\Orvane";
    TestFolder::RemoveAll(orvane);
    combined = site.Write("combined.exe", Stub() + payload);
    EXPECT_TRUE(ExtractAt(static_cast<int32_t>(Stub().size()), {orvane}));
    ExpectMessage(nullptr);
    EXPECT_EQ(Describe(site.Work()), "f=x\n");
}

TEST_F(Extraction, AStaleWorkFolderLinkIsNotFollowed)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string& work = site.WorkFolder();
    const std::string target = site.Scratch() + "\\elsewhere";
    ASSERT_FALSE(site.Write("elsewhere\\keep.txt", "keep").empty());
    RemoveWorkFolder();
    std::string how;
    if (!testwin::MakeFolderLink(site.Scratch(), work, target, &how))
        GTEST_SKIP() << "no way to make a folder link here";
    // Windows removes the link itself and extracts there; Wine cannot
    // remove a link made on the Linux side, so the work folder takes the
    // next name. Either way the target keeps its content.
    combined = site.Write("combined.exe", Stub() + payload);
    WorkFolderChain chain;
    ui.shown.clear();
    EXPECT_TRUE(ExtractPayload(ui, combined.c_str(), static_cast<int32_t>(Stub().size()), work.c_str(), chain));
    ExpectMessage(nullptr);
    const bool linkStays = (Attributes(work) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    EXPECT_EQ(chain.WorkFolder(), linkStays ? work + ".1" : work);
    EXPECT_EQ(Describe(TreeSnapshot(chain.WorkFolder())), "f=x\n");
    EXPECT_EQ(Describe(TreeSnapshot(target)), "keep.txt=keep\n") << how;
    if (linkStays) {
        EXPECT_TRUE(testwin::RemoveFolderLink(site.Scratch(), work));
    }
    TestFolder::RemoveAll(work + ".1");
}

// Another process of the user plants links in the work folder while the
// archive is read (here between two records, where the window handles its
// messages): a folder link where a folder record's folder goes, a file link
// where a file record's file goes, or a folder already made swapped for a
// link. Nothing is ever written through a link: a planted name is refused
// with the message of its step, the swap itself is refused (the open
// folder is held), and nothing outside the work folder changes (ExtractAt
// compares everything around it, the links' target among it).
TEST_F(Extraction, LinksPlantedWhileItRunsAreNeverWrittenThrough)
{
    // Passes: 1 before the check lines' announcement, 2 before "D d", 3
    // before "F d\f", 4 before its check line, 5 before "F d\g", then the rest.
    const std::string payload = MakePayload([](PayloadWriter& w) {
        w.Folder("d", Record(0x10));
        w.File("f", "new", 3, Record(FILE_ATTRIBUTE_READONLY));
        w.File("g", "new", 3, Record(0x20));
        w.Up();
        w.Up();
    });
    const std::string work = site.WorkFolder();
    const std::string target = site.Scratch() + "\\elsewhere";
    ASSERT_FALSE(site.Write("elsewhere\\f", "victim").empty());
    ASSERT_FALSE(site.Write("elsewhere\\victim.txt", "victim").empty());
    enum Plant { kFolderLink, kFileLink, kSwap };
    const struct {
        const char* what;
        int pass;
        Plant plant;
        bool ok;
        const char* message;
        const char* tree;
    } cases[] = {
        {"a folder link where d goes", 2, kFolderLink, false, Messages::kFolderFailed, nullptr},
        {"a file link where d\\f goes", 3, kFileLink, false, Messages::kFileCreateFailed, "d\\\n"},
        {"d swapped for a folder link once made", 5, kSwap, true, nullptr, "d\\\nd\\f=new\nd\\g=new\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveWorkFolder();
        std::vector<std::string> links;
        bool planted = false;
        std::string how;
        ui.onPass = [&](int pass) {
            if (pass != c.pass)
                return;
            const std::string d = work + "\\d";
            if (c.plant == kFolderLink) {
                planted = testwin::MakeFolderLink(site.Scratch(), d, target, &how);
                links.push_back(d);
            } else if (c.plant == kFileLink) {
                planted = testwin::MakeFileLink(site.Scratch(), d + "\\f", target + "\\victim.txt", &how);
                links.push_back(d + "\\f");
            } else {
                // The planting only counts if the folder could be moved away.
                planted = MoveFileA(d.c_str(), (work + "\\moved").c_str()) &&
                          testwin::MakeFolderLink(site.Scratch(), d, target, &how);
                if (planted)
                    links.push_back(d);
            }
        };
        EXPECT_EQ(Extract(payload), c.ok);
        ui.onPass = nullptr;
        ExpectMessage(c.message);
        if (c.plant == kSwap) {
            EXPECT_FALSE(planted) << "the open folder was swapped (" << how << ")";
        } else if (!planted) {
            ADD_FAILURE() << "no way to plant the link here";
        }
        for (const std::string& link : links)
            EXPECT_TRUE(testwin::RemoveFolderLink(site.Scratch(), link)) << link;
        if (c.tree != nullptr) {
            EXPECT_EQ(Describe(site.Work()), c.tree);
        }
    }
    TestFolder::ReadFile(target + "\\victim.txt", &combined);
    EXPECT_EQ(combined, "victim");
}

// A process started suspended, for its id; ended (and its id freed, as far
// as this program goes) on request or at the end.
class SuspendedProcess {
public:
    SuspendedProcess()
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + OwnFile() + "\" --gtest_list_tests";
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                           &startup, &info_))
            CloseHandle(info_.hThread);
        else
            info_.hProcess = nullptr;
    }
    ~SuspendedProcess() { End(); }
    SuspendedProcess(const SuspendedProcess&) = delete;
    SuspendedProcess& operator=(const SuspendedProcess&) = delete;

    bool Runs() const { return info_.hProcess != nullptr; }
    // The id as a work folder's name.
    std::string Name() const
    {
        char name[16];
        std::snprintf(name, sizeof name, "%08lX", static_cast<unsigned long>(info_.dwProcessId));
        return name;
    }
    void End()
    {
        if (info_.hProcess == nullptr)
            return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, testwin::Scaled(10000));
        CloseHandle(info_.hProcess);
        info_.hProcess = nullptr;
    }

private:
    PROCESS_INFORMATION info_{};
};

// The installer fixture (built beside the test programs, or a copy of it)
// running from program with folder as its current folder, until it is
// ended: it waits for an event that never comes.
class RunningFixture {
public:
    RunningFixture(const std::string& program, const std::string& folder)
    {
        const std::string started = "qm-extract-started-" + std::to_string(GetCurrentProcessId());
        const std::string never = "qm-extract-never-" + std::to_string(GetCurrentProcessId());
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, started.c_str());
        hold_ = CreateEventA(nullptr, TRUE, FALSE, never.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_STARTED", started.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_HOLD", never.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + program + "\"";
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                            &info_))
            info_.hProcess = nullptr;
        SetEnvironmentVariableA("QM_FIXTURE_STARTED", nullptr);
        SetEnvironmentVariableA("QM_FIXTURE_HOLD", nullptr);
        // Running once it says so; the limit grows where 32-bit programs are
        // emulated.
        running_ = info_.hProcess != nullptr && event != nullptr &&
                   WaitForSingleObject(event, 10000 * WaitScale()) == WAIT_OBJECT_0;
        if (info_.hProcess != nullptr)
            CloseHandle(info_.hThread);
        if (event != nullptr)
            CloseHandle(event);
    }
    ~RunningFixture()
    {
        if (hold_ != nullptr)
            CloseHandle(hold_);
        if (info_.hProcess == nullptr)
            return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 10000 * WaitScale());
        CloseHandle(info_.hProcess);
    }
    RunningFixture(const RunningFixture&) = delete;
    RunningFixture& operator=(const RunningFixture&) = delete;

    bool Runs() const { return running_; }

private:
    static DWORD WaitScale()
    {
        char value[16] = {};
        const DWORD n = GetEnvironmentVariableA("QM_WAIT_SCALE", value, sizeof value);
        const unsigned long scale = n > 0 && n < sizeof value ? std::strtoul(value, nullptr, 10) : 1;
        return scale > 0 ? static_cast<DWORD>(scale) : 1;
    }

    PROCESS_INFORMATION info_{};
    HANDLE hold_ = nullptr; // the event it waits for, never set
    bool running_ = false;
};

// Before it makes its own work folder, extraction removes the ones that
// ended launchers left beside it: folders named by eight upper-case
// hexadecimal digits whose process runs no more. A folder of a running
// process stays, and so does every other name, a link named like a work
// folder among them (neither followed nor removed as a work folder).
TEST_F(Extraction, StaleWorkFoldersOfEndedProcessesGo)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string parent = site.WorkFolder().substr(0, site.WorkFolder().find_last_of('\\'));
    SuspendedProcess running;
    SuspendedProcess ended;
    ASSERT_TRUE(running.Runs());
    ASSERT_TRUE(ended.Runs());
    const std::string endedName = ended.Name();
    ended.End();

    const struct {
        std::string name;
        bool stays;
    } folders[] = {
        {endedName, false},
        {"7FFFFFF1", false}, // no process ever has an odd id
        {"7FFFFFF1.1", false}, // the other names that a launcher may take
        {"7FFFFFF1.9", false},
        {endedName + ".4", false},
        {running.Name(), true},
        {running.Name() + ".1", true},
        {"7FFFFFF1.0", true},
        {"7FFFFFF1.10", true},
        {"7FFFFFF1-1", true},
        {"7ffffffd", true}, // lower case: not a name this launcher makes
        {"7FFFFFF", true},
        {"7FFFFFG1", true},
        {"notes", true},
    };
    for (const auto& f : folders) {
        // Content that needs the whole removal: a read-only file, a sub-folder.
        ASSERT_FALSE(site.Write(parent.substr(site.Scratch().size() + 1) + "\\" + f.name + "\\sub\\a.txt", "a")
                         .empty());
        ASSERT_TRUE(SetFileAttributesA((parent + "\\" + f.name + "\\sub\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    const std::string fileName = parent + "\\7FFFFFF5";
    ASSERT_FALSE(site.Write(fileName.substr(site.Scratch().size() + 1), "a file").empty());
    const std::string link = parent + "\\7FFFFFE9";
    ASSERT_FALSE(site.Write("elsewhere\\keep.txt", "keep").empty());
    std::string how;
    const bool linked = testwin::MakeFolderLink(site.Scratch(), link, site.Scratch() + "\\elsewhere", &how);

    // Only the stale folders go from around the work folder.
    std::set<std::string> goes;
    for (const auto& f : folders) {
        if (!f.stays) {
            for (const char* below : {"", "\\sub", "\\sub\\a.txt"})
                goes.insert(parent + "\\" + f.name + below);
        }
    }
    combined = site.Write("combined.exe", Stub() + payload);
    EXPECT_TRUE(ExtractAt(static_cast<int32_t>(Stub().size()), goes));
    ExpectMessage(nullptr);
    EXPECT_EQ(Describe(site.Work()), "f=x\n");
    for (const auto& f : folders)
        EXPECT_EQ(Exists(parent + "\\" + f.name), f.stays) << f.name;
    EXPECT_TRUE(Exists(fileName));
    if (linked) {
        EXPECT_TRUE(Exists(link + "\\keep.txt")) << how;
        EXPECT_TRUE(testwin::RemoveFolderLink(site.Scratch(), link));
    }
    for (const auto& f : folders) {
        if (f.stays)
            TestFolder::RemoveAll(parent + "\\" + f.name);
    }
    DeleteFileA(fileName.c_str());
}

// A folder named like the work folder of an ended process may still be in
// use: its launcher was killed while its installer runs, or another
// machine's launcher uses it through a network share. Anything open in it,
// or a program running from it, keeps it whole; the one in which nothing is
// in use goes.
TEST_F(Extraction, StaleLookingWorkFoldersStillInUseStayWhole)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string parent = site.WorkFolder().substr(0, site.WorkFolder().find_last_of('\\'));
    const std::string below = parent.substr(site.Scratch().size() + 1) + "\\";
    // No process ever has an odd id.
    const char* const names[] = {"7FFFFFF1", "7FFFFFF3", "7FFFFFF5", "7FFFFFF7", "7FFFFFF9"};
    for (const char* name : names) {
        ASSERT_FALSE(site.Write(below + name + "\\a.txt", "a").empty());
        ASSERT_FALSE(site.Write(below + name + "\\sub\\b.txt", "b").empty());
    }
    const std::string fixture = testwin::OwnFolder() + "\\installer_fixture.exe";
    ASSERT_TRUE(CopyFileA(fixture.c_str(), (parent + "\\7FFFFFF5\\sub\\setup.exe").c_str(), FALSE));

    // Held as a launcher holds its own work folder.
    FileHandle held(CreateFileA((parent + "\\7FFFFFF1").c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held.Valid());
    // A file deep inside open for reading, shared in every way.
    FileHandle open(CreateFileA((parent + "\\7FFFFFF3\\sub\\b.txt").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    ASSERT_TRUE(open.Valid());
    // A program running from it, its launcher gone.
    RunningFixture fromInside(parent + "\\7FFFFFF5\\sub\\setup.exe", site.Scratch());
    ASSERT_TRUE(fromInside.Runs());
    // The current folder of a running program.
    RunningFixture inside(fixture, parent + "\\7FFFFFF7\\sub");
    ASSERT_TRUE(inside.Runs());

    std::set<std::string> goes;
    for (const char* path : {"", "\\a.txt", "\\sub", "\\sub\\b.txt"})
        goes.insert(parent + "\\7FFFFFF9" + path);
    combined = site.Write("combined.exe", Stub() + payload);
    EXPECT_TRUE(ExtractAt(static_cast<int32_t>(Stub().size()), goes));
    ExpectMessage(nullptr);
    EXPECT_EQ(Describe(site.Work()), "f=x\n");
    EXPECT_FALSE(Exists(parent + "\\7FFFFFF9"));
    for (const char* name : {"7FFFFFF1", "7FFFFFF3", "7FFFFFF5", "7FFFFFF7"}) {
        EXPECT_TRUE(Exists(parent + "\\" + name + "\\a.txt")) << name;
        EXPECT_TRUE(Exists(parent + "\\" + name + "\\sub\\b.txt")) << name;
    }
}

// While set, the next look at the processes first opens this file, as a
// launcher on another machine that shares the profile would start to use
// its folder right after the sweep has found the folder abandoned.
std::string openOnLook;
HANDLE openedOnLook = INVALID_HANDLE_VALUE;

HANDLE WINAPI SnapshotThatOpens(DWORD flags, DWORD id)
{
    using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
    static const SnapshotFn realSnapshot = reinterpret_cast<SnapshotFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateToolhelp32Snapshot")));
    if (!openOnLook.empty()) {
        openedOnLook = CreateFileA(openOnLook.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        openOnLook.clear();
    }
    return realSnapshot(flags, id);
}

// The sweep decides that a folder is abandoned and removes it in one claim:
// whoever starts to use the folder in between is refused (nothing can be
// opened in a claimed tree), and the folder goes whole. It is never
// half-deleted under a program that opened one of its files.
TEST_F(Extraction, TheSweepsDecisionAndRemovalAreOneStep)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    const std::string parent = site.WorkFolder().substr(0, site.WorkFolder().find_last_of('\\'));
    const std::string below = parent.substr(site.Scratch().size() + 1) + "\\7FFFFFF1";
    const std::string stale = parent + "\\7FFFFFF1";
    for (const char* name : {"\\a.txt", "\\b.txt", "\\sub\\c.txt"})
        ASSERT_FALSE(site.Write(below + name, name).empty());

    std::set<std::string> goes;
    for (const char* path : {"", "\\a.txt", "\\b.txt", "\\sub", "\\sub\\c.txt"})
        goes.insert(stale + path);
    combined = site.Write("combined.exe", Stub() + payload);
    openOnLook = stale + "\\b.txt";
    EXPECT_TRUE(ExtractAt(static_cast<int32_t>(Stub().size()), goes));
    openOnLook.clear();
    const bool opened = openedOnLook != INVALID_HANDLE_VALUE;
    if (opened)
        CloseHandle(openedOnLook);
    openedOnLook = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(opened) << "a file of a folder under removal could be opened";
    if (Exists(stale)) {
        for (const char* name : {"\\a.txt", "\\b.txt", "\\sub\\c.txt"})
            EXPECT_TRUE(Exists(stale + name)) << "half-deleted: " << name << " is gone";
        TestFolder::RemoveAll(stale);
    }
}

// A folder with the launcher's own name may be in use: process ids are
// reused, and a launcher that was ended while its installer went on, or one
// on another machine that shares the profile, left it so. It is left whole,
// byte for byte; the launcher works in a folder of the next free name, and
// runs the installer from there.
TEST_F(Extraction, AWorkFolderOfTheSameNameInUseIsLeftWhole)
{
    const std::string fixture = testwin::OwnFolder() + "\\installer_fixture.exe";
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(fixture, &program));
    const std::string payload = MakePayload([&](PayloadWriter& w) {
        w.File("setup.exe", program.data(), static_cast<int64_t>(program.size()), Record(0x20));
        w.Up();
    });
    combined = site.Write("combined.exe", Stub() + payload);
    const std::string& work = site.WorkFolder();
    const std::string below = work.substr(site.Scratch().size() + 1);
    const std::string parent = work.substr(0, work.rfind('\\'));
    const std::string other = work + ".1";
    // Each holder, or null when it does not hold.
    const struct {
        const char* what;
        bool file; // a file of the work folder's name, instead of a folder
        std::function<std::shared_ptr<void>()> hold;
    } cases[] = {
        {"a file open in it", false,
         [&]() -> std::shared_ptr<void> {
             auto held = std::make_shared<HeldFile>(work + "\\sub\\b.txt");
             return held->Held() ? held : nullptr;
         }},
        {"a program running from it", false,
         [&]() -> std::shared_ptr<void> {
             auto running = std::make_shared<RunningFixture>(work + "\\sub\\setup.exe", site.Scratch());
             return running->Runs() ? running : nullptr;
         }},
        {"a program's current folder", false,
         [&]() -> std::shared_ptr<void> {
             auto running = std::make_shared<RunningFixture>(fixture, work + "\\sub");
             return running->Runs() ? running : nullptr;
         }},
        {"a file of its name, open", true,
         [&]() -> std::shared_ptr<void> {
             auto held = std::make_shared<HeldFile>(work);
             return held->Held() ? held : nullptr;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveWorkFolder();
        DeleteFileA(work.c_str());
        if (c.file) {
            ASSERT_FALSE(site.Write(below, "in the way").empty());
        } else {
            ASSERT_FALSE(site.Write(below + "\\a.txt", "a").empty());
            ASSERT_FALSE(site.Write(below + "\\sub\\b.txt", "b").empty());
            ASSERT_TRUE(CopyFileA(fixture.c_str(), (work + "\\sub\\setup.exe").c_str(), FALSE));
        }
        const std::shared_ptr<void> holder = c.hold();
        ASSERT_NE(holder, nullptr);
        const TreeSnapshot before(parent, {other});

        WorkFolderChain chain;
        ui.shown.clear();
        EXPECT_TRUE(ExtractPayload(ui, combined.c_str(), static_cast<int32_t>(Stub().size()), work.c_str(), chain));
        ExpectMessage(nullptr);
        EXPECT_EQ(chain.WorkFolder(), other);
        EXPECT_EQ(TreeSnapshot(parent, {other}).ChangesSince(before), "");

        const std::string report = site.Scratch() + "\\report.txt";
        DeleteFileA(report.c_str());
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", report.c_str());
        LaunchInstaller(ui, "setup.exe", chain);
        SetEnvironmentVariableA("QM_FIXTURE_REPORT", nullptr);
        std::string reported;
        ASSERT_TRUE(TestFolder::ReadFile(report, &reported));
        EXPECT_NE(reported.find("module=" + other + "\\setup.exe\n"), std::string::npos) << reported;
        EXPECT_EQ(ui.exitStatus, 0u);
        // Only the folder it made goes.
        EXPECT_FALSE(Exists(other));
        EXPECT_EQ(TreeSnapshot(parent).ChangesSince(before), "");
    }
    RemoveWorkFolder();
    DeleteFileA(work.c_str());
}

// The same on a network share that two machines use, as with a redirected
// application-data folder: the process ids of the other machine mean
// nothing here. Its launcher holds its work folder (the server makes that
// hold count for every machine; Wine shares the modes within one session),
// so that folder stays whole; the other machine's abandoned one goes.
TEST_F(Extraction, OnAShareOnlyTheAbandonedWorkFolderOfAnotherMachineGoes)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    ASSERT_TRUE(site.Write("share\\readme.txt", "share").size() > 0);
    const std::string server = "qmserver" + std::to_string(GetCurrentProcessId());
    if (!testwin::MapShare(site.Scratch(), server, "profiles", site.Scratch() + "\\share"))
        GTEST_SKIP() << "no way to serve a share here (Wine maps \\\\server\\share through its prefix)";
    const std::string base = "\\\\" + server + "\\profiles\\user\\AppData\\Roaming";
    RCPath work;
    SetToWorkFolder(work, base.c_str());
    const std::string quillimark = base + "\\Orvane\\Lumavex\\Quillimark";
    for (const char* name : {"7FFFFFF1", "7FFFFFF3"}) {
        ASSERT_TRUE(site.Write("share\\user\\AppData\\Roaming\\Orvane\\Lumavex\\Quillimark\\" + std::string(name) +
                               "\\sub\\b.txt", "b").size() > 0);
    }
    // The other machine's running launcher.
    FileHandle held(CreateFileA((quillimark + "\\7FFFFFF1").c_str(), FILE_READ_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
    ASSERT_TRUE(held.Valid());

    combined = site.Write("combined.exe", Stub() + payload);
    ui.shown.clear();
    EXPECT_TRUE(ExtractPayload(ui, combined.c_str(), static_cast<int32_t>(Stub().size()), work.Text()));
    ExpectMessage(nullptr);
    EXPECT_EQ(Describe(TreeSnapshot(work.Text())), "f=x\n");
    EXPECT_TRUE(Exists(quillimark + "\\7FFFFFF1\\sub\\b.txt"));
    EXPECT_FALSE(Exists(quillimark + "\\7FFFFFF3"));
    held.Close();
    EXPECT_TRUE(testwin::UnmapShare(site.Scratch(), server, "profiles"));
}

// A junction or symbolic link at Orvane, Lumavex or Quillimark would steer
// extraction, the sweep of stale work folders and the clean-up into its
// target, also for a launcher that runs elevated (as every process under
// Wine does). Each level is checked before anything below it is made: the
// run ends with the folder message, and nothing is written or deleted,
// neither in the target (which holds a folder named like a stale work
// folder) nor anywhere else.
TEST_F(Extraction, ALinkAboveTheWorkFolderEndsTheRunAndTouchesNothing)
{
    const std::string payload = MakePayload([](PayloadWriter& w) { w.File("f", "x", 1, Record(0x20)); w.Up(); });
    combined = site.Write("combined.exe", Stub() + payload);
    const char* const levels[] = {"Orvane", "Orvane\\Lumavex", "Orvane\\Lumavex\\Quillimark"};
    const char* const rest[] = {"Lumavex\\Quillimark\\", "Quillimark\\", ""};
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(levels[i]);
        TestFolder::RemoveAll(site.AppData() + "\\Orvane");
        const std::string link = site.AppData() + "\\" + levels[i];
        ASSERT_TRUE(TestFolder::MakeFolders(link.substr(0, link.find_last_of('\\'))));
        const std::string target = site.Scratch() + "\\target";
        TestFolder::RemoveAll(target);
        ASSERT_FALSE(site.Write(std::string("target\\") + rest[i] + "7FFFFFF1\\keep.txt", "keep").empty());
        const TreeSnapshot before(target);
        std::string how;
        if (!testwin::MakeFolderLink(site.Scratch(), link, target, &how))
            GTEST_SKIP() << "no way to make a folder link here";

        EXPECT_FALSE(ExtractAt(static_cast<int32_t>(Stub().size())));
        ExpectMessage(Messages::kFolderFailed);
        EXPECT_EQ(ui.exitStatus, ExitStatus::kFolderFailed);
        EXPECT_EQ(TreeSnapshot(target).ChangesSince(before), "") << how;
        EXPECT_TRUE(Exists(target + "\\" + rest[i] + "7FFFFFF1\\keep.txt"));
        EXPECT_TRUE(testwin::RemoveFolderLink(site.Scratch(), link));
    }
    TestFolder::RemoveAll(site.AppData() + "\\Orvane");
}

TEST_F(Extraction, PayloadBehindACopyOfARealProgram)
{
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(OwnFile(), &program));
    ASSERT_GT(program.size(), 1000u);
    const std::string content = NoiseBytes(100000, 9);
    std::string payload = MakePayload([&](PayloadWriter& w) {
        w.Folder("bin", Record(0x10));
        w.File("lvxrun.exe", content.data(), static_cast<int64_t>(content.size()), Record(0x20));
        w.Up();
        w.Up();
    });
    EXPECT_TRUE(Extract(payload, program));
    ExpectMessage(nullptr);
    EXPECT_EQ(Describe(site.Work()), "bin\\\nbin\\lvxrun.exe=" + content + "\n");
}

TEST_F(Extraction, BetweenRecordsTheDiskMayChange)
{
    // Between two records the window's message handling runs; what it
    // changes on disk meets the next record as it is. Here, before the
    // file record (pass 3, after the check lines' announcement and the
    // folder), the file's name is taken by a folder.
    const std::string payload = MakePayload([](PayloadWriter& w) {
        w.Folder("d", Record(0x10));
        w.File("f", "x", 1, Record(0x20));
        w.Up();
        w.Up();
    });
    const std::string blocker = site.WorkFolder() + "\\d\\f";
    ui.onPass = [&](int pass) {
        if (pass == 3)
            CreateDirectoryA(blocker.c_str(), nullptr);
    };
    EXPECT_FALSE(Extract(payload));
    ExpectMessage(Messages::kFileCreateFailed);
    EXPECT_EQ(ui.passes, 3);
    EXPECT_EQ(Describe(site.Work()), "d\\\nd\\f\\\n");
}

// extract itself, in a copy of this program whose stub setting points at a
// payload appended to it: the program's own file, the setting and the work
// folder of its process under the real application-data folder.
TEST(ExtractOwnPayload, ACopyWithAPayloadUnpacksIntoItsWorkFolder)
{
    ExtractionSite site("extract-own");
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(OwnFile(), &program));
    const std::string block(StubSettings::kDefaultBlock, StubSettings::kBlockSize);
    const std::string offset = std::to_string(program.size());
    int patched = 0;
    for (size_t at = program.find(block); at != std::string::npos; at = program.find(block, at + 1)) {
        std::string area(StubSettings::kAreaSize, '\0');
        area.replace(0, offset.size(), offset);
        program.replace(at, area.size(), area);
        ++patched;
    }
    ASSERT_GE(patched, 1);
    const std::string content = "unpacked by the copy";
    program += MakePayload([&](PayloadWriter& w) {
        w.File("hello.txt", content.data(), static_cast<int64_t>(content.size()), Record(0x20));
        w.Up();
    });
    std::string exe = site.Write("installer.exe", program);
    ASSERT_FALSE(exe.empty());

    std::string commandLine =
        "\"" + exe + "\" --gtest_also_run_disabled_tests --gtest_filter=ExtractOwnPayload.DISABLED_Child";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               site.Scratch().c_str(), &startup, &process));
    CloseHandle(process.hThread);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, testwin::Scaled(60000)) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u);

    // The child's work folder, by the same recipe with its process id.
    RCPath work;
    ASSERT_TRUE(SetToAppDataFolder(work));
    ASSERT_EQ(work.Text()[1], ':'); // on a drive of the prefix (C:), never a share
    for (const char* part : {"Orvane", "Lumavex", "Quillimark"})
        work.AppendComponent(part);
    char id[16];
    std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(process.dwProcessId));
    work.AppendComponent(id);
    EXPECT_EQ(Describe(TreeSnapshot(work.Text())), "hello.txt=" + content + "\n");
    TestFolder::RemoveAll(work.Text());
    // The parents go too, when nothing else is in them.
    for (int i = 0; i < 3; ++i) {
        work.RemoveLast();
        RemoveDirectoryA(work.Text());
    }
}

TEST(ExtractOwnPayload, DISABLED_Child)
{
    RecordingUi ui;
    WorkFolderChain chain;
    EXPECT_TRUE(extract(ui, chain));
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_GE(ui.passes, 2);
}

} // namespace

// Every look at the processes in this program comes here (the system's
// header declares the function without an import slot, so it is called by
// its name).
extern "C" HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD id)
{
    return SnapshotThatOpens(flags, id);
}
