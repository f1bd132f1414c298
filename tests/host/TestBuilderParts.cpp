// The builder's parts that need no file system: name conversion, the time
// and attribute mapping, PE headers, quoting, the command line. Runs on the
// host and under Wine, where the Windows code paths are taken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/StubSettings.h"
#include "tests/host/TestStub.h"
#include "tools/BuildOptions.h"
#include "tools/Builder.h"
#include "tools/Signer.h"
#include "tools/ChildProcess.h"
#include "tools/HostFolder.h"
#include "tools/NameCodec.h"
#include "tools/PeFile.h"
#include "tools/StubImage.h"

namespace {

// --- names -----------------------------------------------------------------

struct ToArchiveCase {
    const char* utf8;
    const char* cp932; // null: refused
    const char* why;
};

const ToArchiveCase kToArchive[] = {
    {"setup.exe", "setup.exe", "ASCII stays as it is"},
    {"\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd", "\x95\x5c\x83\x5c\x94\x5c", "hyou, so, nou: second bytes 0x5C"},
    {"\xef\xbd\xb1", "\xb1", "half-width katakana a: one byte"},
    {"\xe2\x91\xa0", "\x87\x40", "circled one (NEC row 13)"},
    {"\xe9\xab\x99", "\xfb\xfc", "taka with the ladder (IBM extension)"},
    {"\xef\xbd\x9e", "\x81\x60", "full-width tilde"},
    {"\xe3\x80\x9c", nullptr, "wave dash: reads back as the full-width tilde"},
    {"\xc2\xa5", nullptr, "yen sign: would become a backslash"},
    {"\xc3\xa9", nullptr, "e acute: not in code page 932"},
    {"\xf0\x9f\x98\x80", nullptr, "emoji: not in code page 932"},
    {"\xff", nullptr, "not UTF-8"},
    {"\xe3\x81", nullptr, "UTF-8 cut short"},
};

TEST(BuilderNames, ConvertsToCodePage932ExactlyOrNotAtAll)
{
    NameCodec codec;
    for (const ToArchiveCase& c : kToArchive) {
        std::string out;
        bool ok = codec.ToArchive(c.utf8, out);
        if (c.cp932 == nullptr) {
            EXPECT_FALSE(ok) << c.why;
        } else {
            EXPECT_TRUE(ok) << c.why;
            EXPECT_EQ(out, c.cp932) << c.why;
        }
    }
}

struct FoldCase {
    const char* a;
    const char* b;
    bool same;
};

const FoldCase kFold[] = {
    {"setup.exe", "SETUP.EXE", true},
    {"Data", "dATA", true},
    {"\xef\xbd\x81", "\xef\xbc\xa1", true},  // full-width a and A
    {"\xce\xb1", "\xce\x91", true},          // Greek alpha and Alpha
    {"\xd1\x8f", "\xd0\xaf", true},          // Cyrillic ya and Ya
    {"a", "b", false},
    {"a.txt", "a.txt ", false},
    {"\xe3\x82\xa2", "\xe3\x81\x82", false}, // katakana and hiragana a
    {"\xef\xbd\xb1", "\xe3\x82\xa2", false}, // half- and full-width katakana a
    {"r\xc3\xa9sum\xc3\xa9", "R\xc3\x89SUM\xc3\x89", true},  // e acute and E acute
    {"\xd0\xb4\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5", "\xd0\x94\xd0\x90\xd0\x9d\xd0\x9d\xd0\xab\xd0\x95", true}, // Cyrillic
    {"stra\xc3\x9f" "e", "STRASSE", false},            // sharp s has no one-letter capital to fold to
    {"\xf0\x90\x90\xa8", "\xf0\x90\x90\x80", false}, // Deseret: beyond U+FFFF, which file systems do not fold
};

TEST(BuilderNames, FoldKeyMatchesWindowsCaseRule)
{
    NameCodec codec;
    for (const FoldCase& c : kFold) {
        std::u32string a, b;
        ASSERT_TRUE(codec.FoldKey(c.a, a)) << c.a;
        ASSERT_TRUE(codec.FoldKey(c.b, b)) << c.b;
        EXPECT_EQ(a == b, c.same) << c.a << " / " << c.b;
    }
}

// Archive names as the record loop gives them: Shift-JIS, with escaped
// UTF-16 units for what a UTF-8 name holds beyond ASCII.
TEST(BuilderNames, FromArchiveReadsShiftJisAndEscapedUnits)
{
    struct Case {
        const char* archive;
        const char* utf8; // null: refused
    } cases[] = {
        {"\x95\x5c.txt", "\xe8\xa1\xa8.txt"},
        {"caf\x01" "00E9", "caf\xc3\xa9"},
        {"\x95\x5c\x01" "00E9\x83\x5c", "\xe8\xa1\xa8\xc3\xa9\xe3\x82\xbd"},
        {"\x01" "0800\x01" "FFFF", "\xe0\xa0\x80\xef\xbf\xbf"},
        {"\x01" "D83D\x01" "DE00!", "\xf0\x9f\x98\x80!"},
        {"\x01" "DBFF\x01" "DFFF", "\xf4\x8f\xbf\xbf"},
        {"\x01" "D83D", nullptr},         // a high surrogate alone
        {"\x01" "D83Dx", nullptr},        // ... before something else
        {"\x01" "DE00", nullptr},         // a low surrogate alone
        {"\x01" "00e9", nullptr},         // digits in lower case: not the form
        {"\x01" "00E", nullptr},          // cut short
        {"\x85\x40", nullptr},           // not code page 932
    };
    NameCodec codec;
    for (const Case& c : cases) {
        std::string utf8;
        const bool ok = codec.FromArchive(c.archive, utf8);
        EXPECT_EQ(ok, c.utf8 != nullptr) << c.archive;
        if (ok && c.utf8 != nullptr) {
            EXPECT_EQ(utf8, c.utf8) << c.archive;
        }
    }
    EXPECT_EQ(codec.Shown("a\x01" "D83D"), "a\\x01D83D");
}

// --- attributes and times --------------------------------------------------

TEST(BuilderHostMapping, AttributesFromMode)
{
    struct Case {
        uint32_t mode;
        bool folder;
        const char* name;
        uint32_t attributes;
    } cases[] = {
        {0100644, false, "a.txt", 0x20},
        {0100444, false, "a.txt", 0x21},     // owner may not write: read-only
        {0100466, false, "a.txt", 0x21},     // others may, the owner may not
        {0100200, false, "a.txt", 0x20},     // the owner may write, nothing else matters
        {0100644, false, ".profile", 0x22},  // dot name: hidden
        {0100400, false, ".secret", 0x23},
        {040755, true, "data", 0x10},
        {040555, true, "data", 0x10},        // folders never read-only
        {040755, true, ".git", 0x12},
        {0100644, false, "a.b", 0x20},       // a dot inside does not hide
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostFolder::AttributesFromMode(c.mode, c.folder, c.name), c.attributes) << std::oct << c.mode << " " << c.name;
}

TEST(BuilderHostMapping, FileTimeFromUnix)
{
    struct Case {
        int64_t seconds;
        int64_t nanoseconds;
        uint64_t fileTime;
    } cases[] = {
        {0, 0, 116444736000000000ull},                           // 1970-01-01
        {1614834367, 123456789, 132593079671234567ull},          // 2021-03-04 05:06:07.123456789: 100 ns kept, rest dropped
        {1600000000, 500, 132444736000000005ull},
        {-1, 999999999, 116444735999999999ull},                  // just before 1970
        {-11644473600, 0, 0},                                    // 1601-01-01 itself
        {-11644473601, 0, 0},                                    // before 1601
        {INT64_MIN, 0, 0},
        {0, -1, 116444735999999999ull},                          // negative nanoseconds borrow a second
        {922337203685 - 11644473600, 0, 0x7FFFFFFFFFFFFFFFull},  // the largest FILETIME
        {INT64_MAX, 999999999, 0x7FFFFFFFFFFFFFFFull},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostFolder::FileTimeFromUnix(c.seconds, c.nanoseconds), c.fileTime) << c.seconds << "." << c.nanoseconds;
}

// --- PE headers and the stub -----------------------------------------------

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

TEST(BuilderStub, ReadsTheCertificateEntryOfBothKinds)
{
    for (bool plus : {false, true}) {
        TestStub stub;
        stub.pe32plus = plus;
        stub.alreadySigned = true;
        std::vector<uint8_t> b = Bytes(stub.Bytes());
        PeLayout layout;
        std::string error;
        ASSERT_TRUE(PeFile::Read(b.data(), b.size(), layout, error)) << error;
        EXPECT_EQ(layout.checksumPos, 0x58u + 64);
        EXPECT_EQ(layout.securityEntryPos, 0x58u + (plus ? 112 : 96) + 32);
        EXPECT_EQ(layout.certOffset, 0x400u);
        EXPECT_EQ(layout.certSize, 8u);
    }
}

TEST(BuilderStub, RefusesWhatIsNotAPeImage)
{
    std::string good = TestStub().Bytes();
    struct Case {
        const char* why;
        size_t at;      // byte to change
        uint32_t value; // written little-endian, 4 bytes
        size_t keep;    // bytes kept (0: all)
    } cases[] = {
        {"too short", 0, 0x5A4D, 63},
        {"no MZ", 0, 0x5A4E, 0},
        {"PE header beyond the end", 0x3C, 0x10000, 0},
        {"PE header offset that would wrap", 0x3C, 0xFFFFFFF0, 0},
        {"no PE signature", 0x40, 0x4551, 0},
        {"unknown optional header", 0x58, 0x10C, 0},
        {"too few data directories", 0x58 + 92, 4, 0},
        {"optional header beyond the end", 0, 0x5A4D, 0x100},
        {"optional header too small for the entry", 0x44 + 16, 96, 0},
    };
    for (const Case& c : cases) {
        std::string b = good;
        for (int i = 0; i < 4; ++i)
            b[c.at + i] = static_cast<char>((c.value >> (8 * i)) & 0xFF);
        if (c.keep != 0)
            b.resize(c.keep);
        // The size-of-optional-header field is 16 bits: undo what spilled over.
        if (c.at == 0x44 + 16)
            b[0x44 + 18] = 0x02, b[0x44 + 19] = 0x01;
        std::vector<uint8_t> v = Bytes(b);
        PeLayout layout;
        std::string error;
        EXPECT_FALSE(PeFile::Read(v.data(), v.size(), layout, error)) << c.why;
        EXPECT_FALSE(error.empty()) << c.why;
    }
}

TEST(BuilderStub, CountsSettingsBlocks)
{
    for (int n : {0, 1, 2}) {
        TestStub stub;
        stub.blocks = n;
        size_t at = 0;
        EXPECT_EQ(StubImage::CountBlocks(Bytes(stub.Bytes()), &at), n);
        if (n > 0) {
            EXPECT_EQ(at, TestStub::kBlockAt);
        }
    }
    // A copy cut short at the end of the file does not count.
    std::string b = TestStub().Bytes();
    b.append(StubSettings::kDefaultBlock, StubSettings::kBlockSize - 1);
    EXPECT_EQ(StubImage::CountBlocks(Bytes(b), nullptr), 1);
}

// --- running the signing tool ----------------------------------------------

TEST(BuilderChild, QuotesArgumentsForWindows)
{
    struct Case {
        std::vector<std::string> argv;
        const char* line;
    } cases[] = {
        {{"tool", "sign"}, "tool sign"},
        {{"a b"}, "\"a b\""},
        {{""}, "\"\""},
        {{"C:\\dir\\file"}, "C:\\dir\\file"},            // backslashes alone stay
        {{"C:\\my dir\\"}, "\"C:\\my dir\\\\\""},         // doubled before the closing quote
        {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
        {{"a\\\"b"}, "\"a\\\\\\\"b\""},                   // backslash before a quote: 2n+1
        {{"tab\there"}, "\"tab\there\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChildProcess::QuoteForWindows(c.argv), c.line);
}

// --- the command line ------------------------------------------------------

TEST(BuilderOptions, Parses)
{
    const std::vector<std::string> base = {"--stub", "s.exe", "--source=src", "--installer", "run.exe", "--output", "o.exe"};
    BuildOptions o;
    std::string error;
    ASSERT_TRUE(BuildOptions::Parse(base, o, error)) << error;
    EXPECT_EQ(o.stub, "s.exe");
    EXPECT_EQ(o.source, "src");
    EXPECT_EQ(o.installer, "run.exe");
    EXPECT_EQ(o.output, "o.exe");
    EXPECT_FALSE(o.sign.Wanted());
    EXPECT_EQ(o.verbosity, BuildOptions::Normal);

    std::vector<std::string> signing = base;
    for (const char* a : {"--sign-cert", "c.pem", "--sign-key", "k.pem", "--sign-tool=/opt/sign", "-q"})
        signing.push_back(a);
    ASSERT_TRUE(BuildOptions::Parse(signing, o, error)) << error;
    EXPECT_TRUE(o.sign.Wanted());
    EXPECT_EQ(o.sign.tool, "/opt/sign");
    EXPECT_EQ(o.verbosity, BuildOptions::Quiet);

    ASSERT_TRUE(BuildOptions::Parse({"--help"}, o, error)); // nothing else needed
    EXPECT_TRUE(o.help);
}

// Conventional forms: combined short options with a value joined or apart,
// "--opt=value", "--" before nothing more, the look-into modes.
TEST(BuilderOptions, ConventionalForms)
{
    const std::vector<std::string> base = {"--stub", "s.exe", "--source", "src", "--installer", "run.exe"};
    struct Case {
        std::vector<std::string> extra;
        std::string output;
        BuildOptions::Verbosity verbosity;
        int level;
    } cases[] = {
        {{"-qo", "o.exe"}, "o.exe", BuildOptions::Quiet, BuildOptions::kDefaultLevel},
        {{"-vqoo.exe"}, "o.exe", BuildOptions::Quiet, BuildOptions::kDefaultLevel}, // the last one counts
        {{"-o", "-dash.exe"}, "-dash.exe", BuildOptions::Normal, BuildOptions::kDefaultLevel},
        {{"--output=a=b.exe", "--level=1"}, "a=b.exe", BuildOptions::Normal, 1},
        {{"--level", "9", "-o", "o.exe", "--"}, "o.exe", BuildOptions::Normal, 9},
        {{"--level=0", "-o", "o.exe"}, "o.exe", BuildOptions::Normal, 0}, // stored
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = base;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        BuildOptions o;
        std::string error;
        ASSERT_TRUE(BuildOptions::Parse(args, o, error)) << error;
        EXPECT_EQ(o.output, c.output);
        EXPECT_EQ(o.verbosity, c.verbosity);
        EXPECT_EQ(o.level, c.level);
        EXPECT_EQ(o.mode, BuildOptions::Build);
    }
    BuildOptions o;
    std::string error;
    ASSERT_TRUE(BuildOptions::Parse({"--verify", "setup.exe"}, o, error)) << error;
    EXPECT_EQ(o.mode, BuildOptions::Verify);
    EXPECT_EQ(o.installerFile, "setup.exe");
    ASSERT_TRUE(BuildOptions::Parse({"-q", "--list=setup.exe"}, o, error)) << error;
    EXPECT_EQ(o.mode, BuildOptions::List);
    ASSERT_TRUE(BuildOptions::Parse({"-hq"}, o, error)) << error;
    EXPECT_TRUE(o.help);
}

// The stub installed beside qm-build stands in for --stub; one given wins.
TEST(BuilderOptions, TakesTheInstalledStubByDefault)
{
    const std::vector<std::string> base = {"--source", "src", "--installer", "run.exe", "--output", "o.exe"};
    struct Case {
        std::vector<std::string> stub;
        const char* installed;
        const char* taken; // null: refused
    } cases[] = {
        {{}, "/p/share/quillimark/quillimark-stub.exe", "/p/share/quillimark/quillimark-stub.exe"},
        {{"--stub", "mine.exe"}, "/p/share/quillimark/quillimark-stub.exe", "mine.exe"},
        {{}, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed);
        std::vector<std::string> args = c.stub;
        args.insert(args.end(), base.begin(), base.end());
        BuildOptions o;
        std::string error;
        EXPECT_EQ(BuildOptions::Parse(args, o, error, c.installed), c.taken != nullptr) << error;
        EXPECT_EQ(c.taken != nullptr ? o.stub : error, c.taken != nullptr ? c.taken : "--stub is required");
    }
}

TEST(BuilderOptions, RefusesWithAReason)
{
    struct Case {
        std::vector<std::string> extra;
        const char* message;
    } cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"stray"}, "unexpected argument stray"},
        {{"--stub", "again.exe"}, "--stub given twice"},
        {{"--output", "x.exe"}, "--output given twice"},
        {{"--output"}, "--output needs a value"},
        {{"--sign-cert", "c.pem"}, "--sign-cert and --sign-key go together"},
        {{"--sign-key", "k.pem"}, "--sign-cert and --sign-key go together"},
        {{"--timestamp-url", "http://ts"}, "need --sign-cert"},
        {{"--sign-tool", "x"}, "need --sign-cert"},
        {{"--sign-cert="}, "--sign-cert needs a value"},
        {{"--level", "x"}, "--level takes a number from 0 to 9, not x"},
        {{"--level=10"}, "--level takes a number from 0 to 9"},
        {{"--level=-1"}, "--level takes a number from 0 to 9"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"-x"}, "unknown option -x"},
        {{"-qx"}, "unknown option -x"},
        {{"-q", "-o"}, "--output needs a value"},
        {{"--", "--quiet"}, "unexpected argument --quiet"},
        {{"--list", "a.exe"}, "is for making an installer"},
        {{"--sign-pkcs12", "p.pfx", "--sign-cert", "c.pem", "--sign-key", "k.pem"}, "not with --sign-cert"},
        {{"--sign-command", "signtool sign {out}", "--sign-pkcs12", "p.pfx"}, "--sign-command signs by itself"},
        {{"--sign-description", "x"}, "need --sign-cert and --sign-key, or --sign-pkcs12"},
    };
    const std::vector<std::string> base = {"--stub", "s.exe", "--source", "src", "--installer", "run.exe", "--output", "o.exe"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = base;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        BuildOptions o;
        std::string error;
        EXPECT_FALSE(BuildOptions::Parse(args, o, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    BuildOptions o;
    std::string error;
    EXPECT_FALSE(BuildOptions::Parse({"--stub", "s.exe", "--installer", "a", "--output", "o"}, o, error));
    EXPECT_EQ(error, "--source is required");
    EXPECT_FALSE(BuildOptions::Parse({"--stub"}, o, error));
    EXPECT_EQ(error, "--stub needs a value");
}

// An option for making an installer is refused when looking into one, not
// ignored; what goes with every action is taken.
TEST(BuilderOptions, RefusesWhatDoesNotGoWithTheAction)
{
    struct Case {
        std::vector<std::string> args;
        const char* message; // null: taken
    } cases[] = {
        {{"--verify", "a.exe", "--sign-url", "https://example.org/"}, "--sign-url is for making an installer, not with --verify"},
        {{"--list", "a.exe", "--werror"}, "--werror is for making an installer, not with --list"},
        {{"--extract", "d", "a.exe", "--timestamp-url", "http://ts"}, "--timestamp-url is for making an installer, not with --extract"},
        {{"--sign-tool", "x", "--verify", "a.exe"}, "--sign-tool is for making an installer"},
        {{"--keep-access-times", "--extract", "d", "a.exe"}, "--keep-access-times is for making an installer"},
        {{"-v", "--verify", "a.exe"}, "--verbose is for making an installer"},
        {{"--verify", "a.exe", "--level", "0"}, "--level is for making an installer"},
        {{"-q", "--verify", "a.exe"}, nullptr},
        {{"--extract", "d", "-q", "a.exe"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
        BuildOptions o;
        std::string error;
        EXPECT_EQ(BuildOptions::Parse(c.args, o, error), c.message == nullptr) << error;
        if (c.message != nullptr) {
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

// The signing command's file names, quoted for the shell that runs it.
TEST(BuilderSigner, ExpandsTheCommand)
{
#ifdef _WIN32
    EXPECT_EQ(Signer::ExpandCommand("signtool sign /fd sha256 {out}", "C:\\a b\\in", "C:\\o\\out"),
              "signtool sign /fd sha256 \"C:\\o\\out\"");
#else
    EXPECT_EQ(Signer::ExpandCommand("sign {in} {out} {in}", "/a b/it's", "/o"), "sign '/a b/it'\\''s' '/o' '/a b/it'\\''s'");
#endif
    EXPECT_EQ(Signer::ExpandCommand("no names", "a", "b"), "no names");
}

// SOURCE_DATE_EPOCH: decimal seconds since 1970, nothing else.
TEST(BuilderTimes, SourceDateEpoch)
{
    uint64_t t = 0;
    ASSERT_TRUE(Builder::ParseSourceDateEpoch("0", &t));
    EXPECT_EQ(t, 116444736000000000ull); // 1970-01-01 as a FILETIME
    ASSERT_TRUE(Builder::ParseSourceDateEpoch("1650000000", &t));
    EXPECT_EQ(t, (1650000000ull + 11644473600ull) * 10000000ull);
    for (const char* bad : {"", "-1", "+5", "1e9", " 1", "1 ", "0x10", "9999999999999"})
        EXPECT_FALSE(Builder::ParseSourceDateEpoch(bad, &t)) << bad;
}

} // namespace
