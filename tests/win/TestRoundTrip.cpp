// A folder tree, packed by qm-build.exe into an installer with the real stub,
// unpacked by that installer and handed to its installer program: the
// program (the tree-copy fixture) copies what it finds to a folder outside
// the work folder and writes down attributes and times, and the copy is
// compared with the source byte for byte, with attributes and times. Then
// the work folder must be gone. Two trees: Japanese names, which the
// payload keeps in Shift-JIS, and names in many scripts, which it keeps in
// UTF-8.
//
// What Wine keeps (and so what is compared): files keep read-only, hidden
// and system, and always report archive; folders keep hidden and system.
// The creation time cannot be set: Wine reports the last-write time in its
// place, on both sides. The installer program's last-access time moves when
// Windows loads it.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "payload/ArchiveReader.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/TreeListing.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"
#include "tools/ChildProcess.h"
#include "tools/WideText.h"

namespace {

// Installer name with ソ (83 5C): a 0x5C trail byte in the program's name.
const wchar_t kInstaller[] = L"ソフト導入.exe";

enum Kind { kFolder, kText, kBytes };

struct SourceEntry {
    const wchar_t* path;
    Kind kind;
    const char* text;   // kText: the content
    uint32_t size;      // kBytes: this many pseudo-random bytes
    DWORD attributes;   // set after the times; 0 leaves the default
};

// Sorted by path, so that every folder comes before its content. Names that
// code page 932 holds: the payload keeps them in Shift-JIS.
const SourceEntry kJapaneseTree[] = {
    {L".hidden", kText, "dot file\r\n", 0, FILE_ATTRIBUTE_HIDDEN},
    {L"read only.txt", kText, "locked\r\n", 0, FILE_ATTRIBUTE_READONLY},
    {L"データ", kFolder, nullptr, 0, 0},
    {L"データ\\8192.bin", kBytes, nullptr, 8192, 0},           // exactly one payload piece
    {L"データ\\8193.bin", kBytes, nullptr, 8193, 0},           // one byte into the next
    {L"データ\\block+1.bin", kBytes, nullptr, ArchiveReader::kContentBlock + 1, 0}, // one byte into a second block
    {L"データ\\block.bin", kBytes, nullptr, ArchiveReader::kContentBlock, 0},       // exactly one content block
    {L"データ\\大きい.bin", kBytes, nullptr, 200000, 0},       // many pieces, incompressible
    {L"データ\\深い", kFolder, nullptr, 0, 0},
    {L"データ\\深い\\さらに", kFolder, nullptr, 0, 0},
    {L"データ\\深い\\さらに\\末端.txt", kText, "leaf\r\n", 0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
    {L"データ\\空のフォルダ", kFolder, nullptr, 0, 0},
    {L"データ\\能力", kFolder, nullptr, 0, 0},                 // 能 = 94 5C
    {L"データ\\能力\\空.txt", kText, "", 0, 0},
    {L"データ\\表示.ini", kText, "[表示]\r\n幅=800\r\n", 0, 0}, // 表 = 95 5C
    {L"はじめに.txt", kText, "はじめに\r\n", 0, 0},
    {L"空.txt", kText, "", 0, FILE_ATTRIBUTE_READONLY},
    {L"隠し", kFolder, nullptr, 0, FILE_ATTRIBUTE_HIDDEN},
    {L"隠し\\システム.dat", kText, "sys", 0, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
};

// Names in many scripts, one beyond U+FFFF (two UTF-16 units), which code
// page 932 cannot hold: the payload keeps every name in UTF-8, the
// installer's (ソフト導入.exe, in the stub in Shift-JIS) included.
const SourceEntry kWorldTree[] = {
    {L"Licence \u00A9.txt", kText, "(c)\r\n", 0, 0},
    {L"R\u00E9sum\u00E9.pdf", kBytes, nullptr, 10000, 0},
    {L"Stra\u00DFe.txt", kText, "Strasse\r\n", 0, FILE_ATTRIBUTE_HIDDEN},
    {L"na\u00EFve.txt", kText, "", 0, FILE_ATTRIBUTE_READONLY},
    {L"\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B", kFolder, nullptr, 0, FILE_ATTRIBUTE_HIDDEN}, // Документы
    {L"\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B\\\u041E\u0442\u0447\u0451\u0442.txt", kBytes, nullptr, 8193, 0}, // Отчёт.txt
    {L"\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B\\\u041F\u0443\u0441\u0442\u043E", kFolder, nullptr, 0, 0}, // Пусто
    {L"中文简体.txt", kText, "中文\r\n", 0, 0},
    {L"表示.ini", kText, "[表示]\r\n", 0, FILE_ATTRIBUTE_SYSTEM},
    {L"한국어.txt", kText, "한국어\r\n", 0, 0},
    {L"\U0001F600 emoji.txt", kText, "smile", 0, 0},
};

// A tree and how the payload keeps its names (as qm-build --list says).
struct Tree {
    const char* what;
    const SourceEntry* entries;
    size_t count;
    const char* names;
};

const Tree kTrees[] = {
    {"Japanese", kJapaneseTree, sizeof kJapaneseTree / sizeof kJapaneseTree[0], "names: Shift-JIS (code page 932)"},
    {"World", kWorldTree, sizeof kWorldTree / sizeof kWorldTree[0], "names: UTF-8"},
};

std::string PseudoRandom(uint32_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

FILETIME Time(uint64_t ticks)
{
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks);
    t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return t;
}

bool SetTimes(const std::wstring& path, uint64_t created, uint64_t accessed, uint64_t written)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME c = Time(created), a = Time(accessed), w = Time(written);
    bool ok = SetFileTime(h, &c, &a, &w) != 0;
    return CloseHandle(h) && ok;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    return CloseHandle(h) && ok;
}

bool ReadBytes(const std::wstring& path, std::string* bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0)
        bytes->append(buffer, got);
    return CloseHandle(h) && ok;
}

std::string Narrow(const std::wstring& wide)
{
    return WideText::ToUtf8(wide.c_str());
}

// The texts of the message boxes that a process shows, for a diagnosis.
std::string MessageBoxTexts(DWORD processId)
{
    std::string texts;
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        wchar_t text[512] = {};
        if (owner == processId && GetDlgItemTextW(box, 0xFFFF, text, 512) > 0)
            texts += " [" + Narrow(text) + "]";
    }
    return texts.empty() ? " none" : texts;
}

struct LauncherRun {
    bool ended = false;
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::string problem;
};

// Starts the installer as a user would and waits for it to end; a launcher
// still running after timeoutMs is ended, with the texts of any message
// boxes it shows.
LauncherRun RunInstaller(const std::wstring& exe, DWORD timeoutMs)
{
    LauncherRun run;
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        run.problem = "cannot start it, error " + std::to_string(GetLastError());
        return run;
    }
    run.processId = process.dwProcessId;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        run.ended = GetExitCodeProcess(process.hProcess, &run.exitCode) != 0;
    } else {
        run.problem = "still running after " + std::to_string(timeoutMs) +
                      " ms; message boxes:" + MessageBoxTexts(process.dwProcessId);
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, testwin::Scaled(5000));
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

// The same with the tree-copy fixture told where to copy the tree to.
LauncherRun RunCopyingTo(const std::wstring& exe, const std::wstring& copy)
{
    SetEnvironmentVariableW(L"QM_TREE_COPY", copy.c_str());
    LauncherRun run = RunInstaller(exe, testwin::Scaled(60000));
    SetEnvironmentVariableW(L"QM_TREE_COPY", nullptr);
    return run;
}

std::wstring AppDataFolder()
{
    wchar_t path[MAX_PATH] = {};
    return SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path) == S_OK ? path : L"";
}

// A scratch folder for a run: the source tree's folder, the folder that the
// tree-copy fixture writes to, and the path of the installer to build.
struct Site {
    explicit Site(const char* name)
        : scratch(name), root(WideText::FromUtf8(scratch.Path())), src(root + L"\\src"), copy(root + L"\\copy"),
          setup(root + L"\\setup.exe")
    {
    }
    bool Made() const { return CreateDirectoryW(src.c_str(), nullptr) && CreateDirectoryW(copy.c_str(), nullptr); }

    TestFolder scratch;
    std::wstring root, src, copy, setup;
};

// The work folder of the launcher with that process id; empty when the
// application-data folder is not known.
std::wstring WorkFolderOf(DWORD processId)
{
    const std::wstring appData = AppDataFolder();
    if (appData.empty())
        return appData;
    wchar_t id[16];
    std::swprintf(id, 16, L"%08X", static_cast<unsigned>(processId));
    return appData + L"\\Orvane\\Lumavex\\Quillimark\\" + id;
}

// Packs src with the stub under test into setup, kInstaller as the
// installer program, every time carried as it is (by default the builder
// stores the last-write time as the last access, so that builds repeat).
int Pack(const std::wstring& src, const std::wstring& setup, std::string* output)
{
    return ChildProcess::Run({testwin::ThroughZ(QM_BUILD_TOOL), "-q", "--keep-access-times", "--stub",
                              testwin::ThroughZ(QM_STUB), "--source", Narrow(src), "--installer", Narrow(kInstaller),
                              "--output", Narrow(setup)},
                             *output);
}

// The manifest's key=value lines and its entries.
struct Manifest {
    std::map<std::string, std::string> values;
    std::vector<ListedEntry> entries;
    bool complete = false;
};

Manifest ReadManifest(const std::wstring& path)
{
    Manifest m;
    std::string text;
    if (!ReadBytes(path, &text))
        return m;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (line == "end") {
            m.complete = true;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        ListedEntry e;
        if (key == "entry" && TreeListing::Parse(value, &e))
            m.entries.push_back(e);
        else
            m.values[key] = value;
    }
    return m;
}

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// The ANSI code page the run must have: QM_EXPECT_ACP, 932 when it is not set.
unsigned ExpectedCodePage()
{
    const char* expected = std::getenv("QM_EXPECT_ACP");
    return expected != nullptr ? static_cast<unsigned>(std::atoi(expected)) : 932u;
}

// Whether a code page can write text down.
bool CodePageHolds(UINT codePage, const std::wstring& text)
{
    BOOL lost = FALSE;
    char bytes[4 * MAX_PATH];
    return WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, bytes, sizeof bytes, nullptr,
                               &lost) != 0 &&
           !lost;
}

} // namespace

// The runs are what they claim to be: the code page asked for (the same run
// in an English locale, code page 1252, goes through the wide functions),
// and with QM_EXPECT_FOREIGN_PROFILE a user folder whose name neither code
// page 932 nor the ANSI code page can hold. Otherwise a run would only
// repeat the Japanese one.
TEST(RoundTrip, RunsInTheCodePageAndProfileAskedFor)
{
    EXPECT_EQ(GetACP(), ExpectedCodePage());
    const std::wstring appData = AppDataFolder();
    ASSERT_FALSE(appData.empty());
    if (std::getenv("QM_EXPECT_FOREIGN_PROFILE") == nullptr)
        return;
    EXPECT_FALSE(CodePageHolds(CP_ACP, appData)) << Narrow(appData);
    EXPECT_FALSE(CodePageHolds(932, appData)) << Narrow(appData);
}

// Each tree of kTrees, in every run of the family (code pages 932, 1252
// and 65001; a user folder no code page holds).
class RoundTripOf : public ::testing::TestWithParam<Tree> {};

TEST_P(RoundTripOf, TreeComesOutAsItWentIn)
{
    const SourceEntry* const kTree = GetParam().entries;
    const Site site((std::string("roundtrip-") + GetParam().what).c_str());
    ASSERT_TRUE(site.Made());
    const std::wstring &src = site.src, &copy = site.copy, &setup = site.setup;

    // The source tree: folders and content first, then times (deepest
    // first, so that nothing made later moves a folder's), then attributes.
    const size_t count = GetParam().count;
    std::map<std::wstring, std::string> contents;
    for (size_t i = 0; i < count; ++i) {
        const SourceEntry& e = kTree[i];
        std::wstring path = src + L"\\" + e.path;
        if (e.kind == kFolder) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Narrow(e.path);
            continue;
        }
        std::string bytes = e.kind == kText ? std::string(e.text) : PseudoRandom(e.size, static_cast<uint32_t>(i));
        ASSERT_TRUE(WriteBytes(path, bytes)) << Narrow(e.path);
        contents[e.path] = bytes;
    }
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(testwin::ThroughZ(QM_TREE_FIXTURE), &program));
    ASSERT_TRUE(WriteBytes(src + L"\\" + kInstaller, program));
    contents[kInstaller] = program;

    const uint64_t written = 130000000001234567ull; // 2012-12-14, with 100-ns ticks
    const uint64_t accessed = 125000000007654321ull;
    const uint64_t hour = 36000000000ull;
    auto setTimes = [&](size_t i) {
        return SetTimes(src + L"\\" + kTree[i].path, written - hour, accessed + i * hour, written + i * hour);
    };
    for (size_t i = count; i-- > 0;) {
        const SourceEntry& e = kTree[i];
        std::wstring path = src + L"\\" + e.path;
        ASSERT_TRUE(setTimes(i)) << Narrow(e.path);
        if (e.attributes != 0) {
            ASSERT_TRUE(SetFileAttributesW(path.c_str(), e.attributes)) << Narrow(e.path);
        }
    }
    ASSERT_TRUE(SetTimes(src + L"\\" + kInstaller, written, accessed, written));

    // What the builder will see. Listing a folder moves its last-access
    // time: the folders' times are put back afterwards.
    std::vector<ListedEntry> expected;
    ASSERT_TRUE(TreeListing::Take(src, &expected));
    for (size_t i = count; i-- > 0;) {
        if (kTree[i].kind == kFolder) {
            ASSERT_TRUE(setTimes(i)) << Narrow(kTree[i].path);
        }
    }
    ASSERT_EQ(expected.size(), count + 1);
    for (const ListedEntry& e : expected) {
        if (e.path != kInstaller) {
            size_t i = 0;
            while (i < count && e.path != kTree[i].path)
                ++i;
            ASSERT_LT(i, count) << Narrow(e.path);
            EXPECT_EQ(e.written, written + i * hour) << "source time did not stick: " << Narrow(e.path);
        }
    }

    std::string output;
    ASSERT_EQ(Pack(src, setup, &output), 0) << output;
    ASSERT_EQ(ChildProcess::Run({testwin::ThroughZ(QM_BUILD_TOOL), "--list", Narrow(setup)}, output), 0) << output;
    EXPECT_NE(output.find(GetParam().names), std::string::npos) << output;

    LauncherRun run = RunCopyingTo(setup, copy);
    ASSERT_TRUE(run.ended) << run.problem;
    EXPECT_EQ(run.exitCode, 0u);

    Manifest manifest = ReadManifest(copy + L"\\manifest.txt");
    ASSERT_TRUE(manifest.complete) << "the installer program did not run to its end";
    EXPECT_EQ(manifest.values["result"], "ok");

    // Started from the work folder of that launcher, with the switch last.
    const std::wstring workFolder = WorkFolderOf(run.processId);
    ASSERT_FALSE(workFolder.empty());
    EXPECT_EQ(manifest.values["module"], Narrow(workFolder + L"\\" + kInstaller));
    const std::string commandLine = manifest.values["commandline"];
    const std::string tail = " /quillimarkmode";
    EXPECT_TRUE(commandLine.size() > tail.size() &&
                commandLine.compare(commandLine.size() - tail.size(), tail.size(), tail) == 0)
        << commandLine;

    // Everything, and nothing else, with content, attributes and times.
    ASSERT_EQ(manifest.entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ListedEntry& want = expected[i];
        const ListedEntry& got = manifest.entries[i];
        const std::string name = Narrow(want.path);
        ASSERT_EQ(Narrow(got.path), name);
        EXPECT_EQ(got.folder, want.folder) << name;
        EXPECT_EQ(got.attributes, want.attributes) << name;
        EXPECT_EQ(got.size, want.size) << name;
        EXPECT_EQ(Hex(got.written), Hex(want.written)) << name << " last write";
        EXPECT_EQ(Hex(got.created), Hex(want.created)) << name << " creation";
        if (want.path != kInstaller) {
            EXPECT_EQ(Hex(got.accessed), Hex(want.accessed)) << name << " last access";
        }
        if (!want.folder) {
            std::string bytes;
            ASSERT_TRUE(ReadBytes(copy + L"\\tree\\" + want.path, &bytes)) << name;
            EXPECT_TRUE(bytes == contents[want.path]) << name << ": " << bytes.size() << " bytes, not the "
                                                      << contents[want.path].size() << " packed";
        }
    }

    // The launcher removed its work folder, and only that.
    EXPECT_EQ(GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(workFolder);
    std::wstring parent = workFolder.substr(0, workFolder.find_last_of(L'\\'));
    EXPECT_NE(GetFileAttributesW(parent.c_str()), INVALID_FILE_ATTRIBUTES);
}

INSTANTIATE_TEST_SUITE_P(Trees, RoundTripOf, ::testing::ValuesIn(kTrees),
                         [](const ::testing::TestParamInfo<Tree>& tree) { return std::string(tree.param.what); });

// An installer program that starts a helper from the work folder and ends
// at once (a self-relaunch): the launcher keeps the work folder until the
// helper has ended too, so the helper still reads every file there three
// seconds later. The launcher finds the helper by the path of its program,
// in a work folder whose names the ANSI code page may lack (the English
// runs) and below a user folder that neither code page can hold (the
// profile runs).
TEST(RoundTrip, WorkFolderStaysWhileAHelperOfTheInstallerRuns)
{
    const Site site("roundtrip-helper");
    ASSERT_TRUE(site.Made());
    const std::wstring &src = site.src, &copy = site.copy, &setup = site.setup;
    ASSERT_TRUE(CreateDirectoryW((src + L"\\データ").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(src + L"\\データ\\表示.ini", "[display]\r\n"));
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(testwin::ThroughZ(QM_TREE_FIXTURE), &program));
    ASSERT_TRUE(WriteBytes(src + L"\\" + kInstaller, program));
    std::string output;
    ASSERT_EQ(Pack(src, setup, &output), 0) << output;

    ASSERT_TRUE(SetEnvironmentVariableW(L"QM_TREE_HELPER", L"3000"));
    LauncherRun run = RunCopyingTo(setup, copy);
    SetEnvironmentVariableW(L"QM_TREE_HELPER", nullptr);
    ASSERT_TRUE(run.ended) << run.problem;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadManifest(copy + L"\\manifest.txt").values["result"], "ok");

    // A launcher that did not wait has ended before the helper wrote.
    std::string helper;
    for (DWORD waited = 0; !ReadBytes(copy + L"\\helper.txt", &helper) && waited < testwin::Scaled(10000);
         waited += 100)
        Sleep(100);
    EXPECT_EQ(helper, "helper=read\n");
    const std::wstring workFolder = WorkFolderOf(run.processId);
    ASSERT_FALSE(workFolder.empty());
    EXPECT_EQ(GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(workFolder);
}

// A launcher started from a folder whose name the ANSI code page cannot
// hold (on a Japanese Windows a download folder named "qmé"): it reads its
// own path through the wide functions, and unpacks and runs as anywhere.
TEST(RoundTrip, RunsFromAFolderThatTheCodePageCannotHold)
{
    const Site site("roundtrip-own");
    ASSERT_TRUE(site.Made());
    const std::wstring &src = site.src, &copy = site.copy;
    ASSERT_TRUE(WriteBytes(src + L"\\はじめに.txt", "hello\r\n"));
    std::string program;
    ASSERT_TRUE(TestFolder::ReadFile(testwin::ThroughZ(QM_TREE_FIXTURE), &program));
    ASSERT_TRUE(WriteBytes(src + L"\\" + kInstaller, program));
    std::string output;
    ASSERT_EQ(Pack(src, site.setup, &output), 0) << output;
    const std::wstring folder = site.root + L"\\qmé";
    const std::wstring setup = folder + L"\\setup.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(site.setup.c_str(), setup.c_str(), FALSE));
    EXPECT_FALSE(CodePageHolds(932, setup)) << "the folder's name must be one that code page 932 lacks";

    LauncherRun run = RunCopyingTo(setup, copy);
    ASSERT_TRUE(run.ended) << run.problem;
    EXPECT_EQ(run.exitCode, 0u);
    Manifest manifest = ReadManifest(copy + L"\\manifest.txt");
    EXPECT_EQ(manifest.values["result"], "ok");
    const std::wstring workFolder = WorkFolderOf(run.processId);
    ASSERT_FALSE(workFolder.empty());
    EXPECT_EQ(manifest.values["module"], Narrow(workFolder + L"\\" + kInstaller));
    std::string hello;
    EXPECT_TRUE(ReadBytes(copy + L"\\tree\\はじめに.txt", &hello));
    EXPECT_EQ(hello, "hello\r\n");
    EXPECT_EQ(GetFileAttributesW(workFolder.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(workFolder);
}
