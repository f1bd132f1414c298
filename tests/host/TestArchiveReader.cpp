// The archive record loop, read through RCFile + RCDecompress from payloads
// made by PayloadWriter, against a sink that records what it is asked to do.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include <zlib.h>

#include "payload/ArchiveReader.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "tests/shared/StringSink.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestBytes.h"
#include "tests/shared/TestFolder.h"

using testkit::MakePayload;
using testkit::Record;

namespace {

using Result = ArchiveReader::Result;

constexpr const char* kWork = "C:\\w";

// Records every call as one line; each effect can be made to fail.
class RecordingSink : public ArchiveSink {
public:
    void BetweenRecords() override { ++passes; }
    bool CreateFolder(const char* path) override
    {
        trace.push_back(std::string("mkdir ") + path);
        return !failFolder;
    }
    void ApplyFolder(const char* path, const FileAttributeRecord& r) override
    {
        trace.push_back(std::string("folder-record ") + path + " " + std::to_string(r.attributes));
    }
    bool OpenFile(const char* path) override
    {
        trace.push_back(std::string("open ") + path);
        content.clear();
        return !failOpen;
    }
    int32_t WriteFile(const uint8_t* data, int32_t length) override
    {
        content.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        return failWrite ? length - 1 : length;
    }
    bool CloseFile() override
    {
        trace.push_back("close " + std::to_string(content.size()));
        return !failClose;
    }
    bool ApplyFile(const char* path, const FileAttributeRecord& r) override
    {
        trace.push_back(std::string("file-record ") + path + " " + std::to_string(r.attributes));
        return !failAttributes;
    }
    void NamesAreUtf8() override { trace.push_back("names are UTF-8"); }

    std::vector<std::string> trace;
    std::string content;
    int passes = 0;
    bool failFolder = false, failOpen = false, failWrite = false, failClose = false, failAttributes = false;
};

// Puts the payload behind a few bytes of "stub" and reads it the way
// extraction does.
Result ReadPayload(const std::string& payload, RecordingSink& sink, const char* work = kWork)
{
    TestFolder folder("archive-reader");
    const std::string stub = "MZ-not-really-a-program";
    EXPECT_TRUE(folder.WriteFile("combined.bin", stub + payload));
    const std::string path = folder.Join("combined.bin");
    RCFile reader;
    EXPECT_TRUE(reader.Open(path.c_str(), 0));
    EXPECT_TRUE(reader.Seek(static_cast<int32_t>(stub.size())));
    RCDecompress stage(8192);
    reader.SetInputTransform(&stage);
    Result result = ArchiveReader::Read(reader, work, sink);
    reader.SetInputTransform(nullptr);
    return result;
}

TEST(ArchiveReader, ExampleArchiveCreatesEveryEntryInsideTheWorkFolder)
{
    std::string big(1024, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    std::string payload = MakePayload([&](PayloadWriter& w) {
        w.File("setup.bmp", "12345", 5, Record(0x20));
        w.Folder("data", Record(0x10));
        w.File("a.ini", "", 0, Record(0x21));
        w.Up();
        w.File("lvxrun.exe", big.data(), static_cast<int64_t>(big.size()), Record(0x20));
        w.Up();
    });
    RecordingSink sink;
    ASSERT_EQ(ReadPayload(payload, sink), Result::Complete);
    std::vector<std::string> expected = {
        "open C:\\w\\setup.bmp", "close 5", "file-record C:\\w\\setup.bmp 32",
        "mkdir C:\\w\\data", "folder-record C:\\w\\data 16",
        "open C:\\w\\data\\a.ini", "close 0", "file-record C:\\w\\data\\a.ini 33",
        "folder-record C:\\w\\data 16", // again as "U" closes it
        "open C:\\w\\lvxrun.exe", "close 1024", "file-record C:\\w\\lvxrun.exe 32",
    };
    EXPECT_EQ(sink.trace, expected);
    EXPECT_EQ(sink.content, big);
    EXPECT_EQ(sink.passes, 10); // one pass of message handling before each line where a record may start
}

TEST(ArchiveReader, StructureCases)
{
    struct Case {
        const char* what;
        std::function<void(PayloadWriter&)> write;
        Result result;
        std::vector<std::string> trace;
    };
    const std::vector<Case> cases = {
        {"only the closing U", [](PayloadWriter& w) { w.Up(); }, Result::Complete, {}},
        {"missing U", [](PayloadWriter& w) { w.Folder("d", Record(16)); }, Result::Damaged,
         {"mkdir C:\\w\\d", "folder-record C:\\w\\d 16"}},
        {"U inside a folder closes only that folder",
         [](PayloadWriter& w) { w.Folder("d", Record(16)); w.Up(); w.File("f", "a", 1, Record(32)); w.Up(); },
         Result::Complete,
         {"mkdir C:\\w\\d", "folder-record C:\\w\\d 16", "folder-record C:\\w\\d 16", "open C:\\w\\f", "close 1",
          "file-record C:\\w\\f 32"}},
        {"unknown tag lines are skipped",
         [](PayloadWriter& w) { w.Line("X"); w.Line("u"); w.Line(""); w.File("f", "", 0, Record(32)); w.Up(); },
         Result::Complete, {"open C:\\w\\f", "close 0", "file-record C:\\w\\f 32"}},
        {"a size line without digits is damage",
         [](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("abc"); uint8_t r[28] = {}; w.Piece(r, 28); w.Up(); },
         Result::Damaged, {}},
        {"a negative size is damage", [](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("-1"); w.Up(); },
         Result::Damaged, {}},
        {"content cut short is damage", [](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("10"); w.Piece("abc", 3); },
         Result::Damaged, {"open C:\\w\\f", "close 0"}}, // a short chunk is not written
        {"an attribute record cut short is damage",
         [](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line("1"); w.Piece("a", 1); w.Piece("12345", 5); },
         Result::Damaged, {"open C:\\w\\f", "close 1"}},
        {"an empty file name names the folder itself",
         [](PayloadWriter& w) { w.File("", "", 0, Record(32)); w.Up(); }, Result::FileCreateFailed, {"open C:\\w"}},
        {"a line over 4096 bytes is damage",
         [](PayloadWriter& w) { w.Line("F"); w.Line(std::string(4097, 'n').c_str()); w.Line("0"); w.Up(); },
         Result::Damaged, {}},
        {"a size line of exactly 4096 bytes is read",
         [](PayloadWriter& w) { w.Line("F"); w.Line("f"); w.Line((std::string(4095, '0') + "1").c_str()); w.Piece("x", 1);
                                uint8_t r[28] = {}; w.Piece(r, 28); w.Up(); },
         Result::Complete, {"open C:\\w\\f", "close 1", "file-record C:\\w\\f 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingSink sink;
        sink.failOpen = (c.result == Result::FileCreateFailed);
        EXPECT_EQ(ReadPayload(MakePayload(c.write), sink), c.result);
        EXPECT_EQ(sink.trace, c.trace);
    }
}

// A file's content against the check line after its record. The check
// comes after the file is written: the sink has seen it all, and the result
// tells extraction not to go on.
TEST(ArchiveReader, CheckLines)
{
    const uint8_t zeros[28] = {};
    // "abc" has the CRC-32 352441C2.
    auto file = [&](PayloadWriter& w, const char* check) {
        w.Line("F");
        w.Line("f");
        w.Line("3");
        w.Piece("abc", 3);
        w.Piece(zeros, 28);
        if (check != nullptr)
            w.Line(check);
    };
    const std::vector<std::string> wholeFile = {"open C:\\w\\f", "close 3", "file-record C:\\w\\f 0"};
    struct Case {
        const char* what;
        std::function<void(PayloadWriter&)> write;
        Result result;
    };
    const std::vector<Case> cases = {
        {"matching", [&](PayloadWriter& w) { file(w, "C352441C2"); w.Up(); }, Result::Complete},
        {"matching in lower case", [&](PayloadWriter& w) { file(w, "C352441c2"); w.Up(); }, Result::Complete},
        {"missing, as in archives from before check lines", [&](PayloadWriter& w) { file(w, nullptr); w.Up(); },
         Result::Complete},
        {"one digit changed", [&](PayloadWriter& w) { file(w, "C352441C3"); w.Up(); }, Result::CheckFailed},
        {"all zeros", [&](PayloadWriter& w) { file(w, "C00000000"); w.Up(); }, Result::CheckFailed},
        {"seven digits", [&](PayloadWriter& w) { file(w, "C352441C"); w.Up(); }, Result::Damaged},
        {"nine digits", [&](PayloadWriter& w) { file(w, "C352441C20"); w.Up(); }, Result::Damaged},
        {"a digit that is not hexadecimal", [&](PayloadWriter& w) { file(w, "C352441G2"); w.Up(); }, Result::Damaged},
        {"a blank in it", [&](PayloadWriter& w) { file(w, "C 352441C2"); w.Up(); }, Result::Damaged},
        {"the letter alone", [&](PayloadWriter& w) { file(w, "C"); w.Up(); }, Result::Damaged},
        {"twice", [&](PayloadWriter& w) { file(w, "C352441C2"); w.Line("C352441C2"); w.Up(); }, Result::Damaged},
        {"after an unknown line", [&](PayloadWriter& w) { file(w, "X"); w.Line("C352441C2"); w.Up(); },
         Result::Damaged},
        // Announced by the first line: then every file has its check line,
        // and a line where the check should be means the content was not
        // the length its size line says.
        {"announced and matching", [&](PayloadWriter& w) { w.Line("C"); file(w, "C352441C2"); w.Up(); },
         Result::Complete},
        {"announced and missing", [&](PayloadWriter& w) { w.Line("C"); file(w, nullptr); w.Up(); }, Result::Damaged},
        {"announced, an unknown line in its place", [&](PayloadWriter& w) { w.Line("C"); file(w, "X"); w.Up(); },
         Result::Damaged},
        {"announced in the wrong place", [&](PayloadWriter& w) { file(w, "C352441C2"); w.Line("C"); w.Up(); },
         Result::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingSink sink;
        EXPECT_EQ(ReadPayload(MakePayload(c.write), sink), c.result);
        EXPECT_EQ(sink.trace, wholeFile);
    }

    // Attributes that cannot be set: in a checked archive, the check line
    // tells a file that came out wrong (damage) from a real failure.
    const struct {
        const char* check;
        Result result;
    } refusedTimes[] = {{"C352441C2", Result::AttributesFailed}, {"C352441C3", Result::Damaged}, {"X", Result::Damaged}};
    for (const auto& c : refusedTimes) {
        SCOPED_TRACE(std::string("times refused, then ") + c.check);
        RecordingSink sink;
        sink.failAttributes = true;
        EXPECT_EQ(ReadPayload(MakePayload([&](PayloadWriter& w) { w.Line("C"); file(w, c.check); w.Up(); }), sink),
                  c.result);
    }

    // A check line where no file precedes it: at the start, after a folder,
    // after the "U" that closes a folder.
    const std::vector<std::function<void(PayloadWriter&)>> misplaced = {
        [](PayloadWriter& w) { w.Line("C00000000"); w.Up(); },
        [](PayloadWriter& w) { w.Folder("d", Record(16)); w.Line("C00000000"); w.Up(); w.Up(); },
        [&](PayloadWriter& w) { w.Folder("d", Record(16)); file(w, "C352441C2"); w.Up(); w.Line("C352441C2"); w.Up(); },
    };
    for (size_t i = 0; i < misplaced.size(); ++i) {
        SCOPED_TRACE("misplaced " + std::to_string(i));
        RecordingSink sink;
        EXPECT_EQ(ReadPayload(MakePayload(misplaced[i]), sink), Result::Damaged);
    }
}

// Bits flipped in the deflate stream inside a file's content: in content
// that deflate stores as it is (noise), the inflated file simply differs;
// in compressed content, the codes change. Neither may end in success.
TEST(ArchiveReader, FlippedBitsInContentAreCaught)
{
    std::string noise = NoiseBytes(20000, 7);
    std::string text;
    for (int i = 0; text.size() < 20000; ++i)
        text += "value" + std::to_string(i % 97) + "=setup data folder\r\n";
    for (const std::string* content : {&noise, &text}) {
        StringSink sink;
        PayloadWriter w(sink);
        ASSERT_TRUE(w.FileBegin("f", static_cast<int64_t>(content->size())));
        const size_t contentStart = sink.bytes.size();
        ASSERT_TRUE(w.FileContent(content->data(), content->size()));
        const size_t contentEnd = sink.bytes.size();
        ASSERT_TRUE(w.FileEnd(Record(32)));
        ASSERT_TRUE(w.Up());
        RecordingSink intact;
        ASSERT_EQ(ReadPayload(sink.bytes, intact), Result::Complete);
        for (int k = 1; k <= 20; ++k) {
            size_t at = contentStart + (contentEnd - contentStart) * static_cast<size_t>(k) / 21;
            for (uint8_t mask : {0x01, 0x10, 0x80}) {
                SCOPED_TRACE((content == &noise ? "stored, byte " : "compressed, byte ") + std::to_string(at) +
                             " xor " + std::to_string(mask));
                std::string payload = sink.bytes;
                payload[at] = static_cast<char>(payload[at] ^ mask);
                RecordingSink damaged;
                Result result = ReadPayload(payload, damaged);
                EXPECT_TRUE(result == Result::CheckFailed || result == Result::Damaged)
                    << static_cast<int>(result);
                if (content == &noise) {
                    EXPECT_EQ(result, Result::CheckFailed); // stored: the bytes arrive, changed
                }
            }
        }
    }
}

// In archives of both kinds; the names that only UTF-8 can spell, or spell
// wrong, in the one that says its names are UTF-8.
TEST(ArchiveReader, UnsafeNamesAreDamageAndCreateNothing)
{
    const std::vector<std::string> unsafe = {
        ".", "..", "..\\evil.dll", "a\\b", "\\abs", "a/b", "c:x", "C:", "f:stream", "a.", "a ",
        "CON", "con", "PRN", "AUX", "NUL", "nul.txt", "COM1", "com9.dat", "LPT1", "LPT9.log",
        "CONIN$", "conout$.txt", "a\001b",
    };
    const std::vector<std::string> unsafeInUtf8 = {
        "COM\xc2\xb9",                // COM with a superscript one: a device
        "lpt\xc2\xb3.log",            // LPT with a superscript three
        "\xc0\xae\xc0\xae",           // ".." in overlong forms
        "a\xc0\xaf" "b",               // "/", overlong
        "\xe0\x80\xaf\xe0\x80\xae",   // "/" and "." in three bytes
        "\xc1\x9c",                   // "\\", overlong
        "\xed\xa0\x80.txt",           // a surrogate
        "\xed\xa0\xbd\xed\xb8\x80",   // a surrogate pair spelt out (CESU-8)
        "\xf4\x90\x80\x80",           // beyond U+10FFFF
        "\xf8\x88\x80\x80\x80",       // five bytes
        "\xfe\xff",                   // no UTF-8 byte at all
        "\x80" "abc",                 // a continuation byte without its lead
        "\xe4\xb8",                   // cut short at the end
        "\xe4\xb8.txt",               // cut short before a dot
        "\x95\x5c",                   // Shift-JIS: not UTF-8
        "\xc3\xa9.",                  // a trailing dot after a character
    };
    for (bool utf8 : {false, true}) {
        std::vector<std::string> names = unsafe;
        if (utf8)
            names.insert(names.end(), unsafeInUtf8.begin(), unsafeInUtf8.end());
        for (const std::string& name : names) {
            for (bool folder : {false, true}) {
                SCOPED_TRACE(std::string(utf8 ? "UTF-8 " : "") + (folder ? "folder " : "file ") + name);
                RecordingSink sink;
                std::string payload = MakePayload([&](PayloadWriter& w) {
                    w.SetUtf8Names(utf8);
                    if (folder)
                        w.Folder(name.c_str(), Record(16));
                    else
                        w.File(name.c_str(), "x", 1, Record(32));
                    w.Up();
                });
                EXPECT_EQ(ReadPayload(payload, sink), Result::Damaged);
                EXPECT_EQ(sink.trace, utf8 ? std::vector<std::string>{"names are UTF-8"} : std::vector<std::string>{});
            }
        }
    }
}

// Names in UTF-8 reach the sink decoded: ASCII as it stands, every other
// character as its escaped UTF-16 units (a surrogate pair beyond U+FFFF),
// with the Shift-JIS path rules finding every separator between them.
TEST(ArchiveReader, Utf8NamesReachTheSinkDecoded)
{
    RecordingSink sink;
    std::string payload = MakePayload([&](PayloadWriter& w) {
        w.SetUtf8Names(true);
        w.Folder("\xd0\x94\xd0\xbe", Record(16));                   // До
        w.File("Stra\xc3\x9f" "e.txt", "x", 1, Record(32));          // Straße.txt
        w.Up();
        w.File("\xf0\x9f\x98\x80 \xe8\xa1\xa8", "", 0, Record(33)); // 😀 表
        w.Up();
    });
    ASSERT_EQ(ReadPayload(payload, sink), Result::Complete);
    const std::string folder = "C:\\w\\\x01" "0414\x01" "043E";
    const std::string smiley = "C:\\w\\\x01" "D83D\x01" "DE00 \x01" "8868";
    std::vector<std::string> expected = {
        "names are UTF-8",
        "mkdir " + folder, "folder-record " + folder + " 16",
        "open " + folder + "\\Stra\x01" "00DFe.txt", "close 1", "file-record " + folder + "\\Stra\x01" "00DFe.txt 32",
        "folder-record " + folder + " 16",
        "open " + smiley, "close 0", "file-record " + smiley + " 33",
    };
    EXPECT_EQ(sink.trace, expected);
}

// The names line belongs to the archive's first lines: after the check
// lines' announcement, before the first record. Later, the names before it
// were read as Shift-JIS: damage.
TEST(ArchiveReader, TheNamesLineComesBeforeTheFirstRecord)
{
    struct Case {
        const char* what;
        std::function<void(PayloadWriter&)> write;
        Result result;
    };
    const std::vector<Case> cases = {
        {"as the builder writes it", [](PayloadWriter& w) { w.SetUtf8Names(true); w.File("\xc3\xa9", "", 0, Record(32)); w.Up(); },
         Result::Complete},
        {"alone, without check lines",
         [](PayloadWriter& w) { w.SetCheckLines(false); w.SetUtf8Names(true); w.File("\xc3\xa9", "", 0, Record(32)); w.Up(); },
         Result::Complete},
        {"after an unknown line", [](PayloadWriter& w) { w.Line("X"); w.Line("NUTF-8"); w.Up(); }, Result::Complete},
        {"before the check lines' announcement, which must be first",
         [](PayloadWriter& w) { w.Line("NUTF-8"); w.Line("C"); w.Up(); }, Result::Damaged},
        {"after a folder", [](PayloadWriter& w) { w.Folder("d", Record(16)); w.Line("NUTF-8"); w.Up(); w.Up(); },
         Result::Damaged},
        {"after a file", [](PayloadWriter& w) { w.SetCheckLines(false); w.File("f", "", 0, Record(32)); w.Line("NUTF-8"); w.Up(); },
         Result::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingSink sink;
        EXPECT_EQ(ReadPayload(MakePayload(c.write), sink), c.result);
    }
}

TEST(ArchiveReader, ShiftJisNamesWhoseSecondByteIsABackslashStayValid)
{
    // 表 (0x95 0x5C), ソ (0x83 0x5C), 能 (0x94 0x5C)
    const char* names[] = {"\x95\x5C", "\x83\x5C\x83\x74\x83\x67", "\x94\x5C.txt"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        RecordingSink sink;
        std::string payload = MakePayload([&](PayloadWriter& w) {
            w.Folder(name, Record(16));
            w.File(name, "x", 1, Record(32));
            w.Up();
            w.Up();
        });
        ASSERT_EQ(ReadPayload(payload, sink), Result::Complete);
        std::string folder = std::string("C:\\w\\") + name;
        ASSERT_EQ(sink.trace.size(), 6u); // the folder's record comes again at its "U"
        EXPECT_EQ(sink.trace[0], "mkdir " + folder);
        EXPECT_EQ(sink.trace[2], "open " + folder + "\\" + name);
    }
}

TEST(ArchiveReader, AWorkFolderWithShiftJisNames)
{
    // A user name in Japanese puts double-byte characters, some with a
    // 0x5C second byte, into the work folder's own path: entries still lie
    // inside it, and its "U" ends the archive at the right depth.
    const std::string work = "C:\\Users\\\x95\x5C\\\x83\x5C";
    RecordingSink sink;
    std::string payload = MakePayload([](PayloadWriter& w) {
        w.Folder("d", Record(16));
        w.File("f", "x", 1, Record(32));
        w.Up();
        w.Up();
        w.File("late", "y", 1, Record(32)); // behind the closing U: never read
    });
    ASSERT_EQ(ReadPayload(payload, sink, work.c_str()), Result::Complete);
    std::vector<std::string> expected = {
        "mkdir " + work + "\\d", "folder-record " + work + "\\d 16",
        "open " + work + "\\d\\f", "close 1", "file-record " + work + "\\d\\f 32",
        "folder-record " + work + "\\d 16",
    };
    EXPECT_EQ(sink.trace, expected);
}

TEST(ArchiveReader, FailuresOfTheSinkStopTheLoop)
{
    std::string payload = MakePayload([](PayloadWriter& w) {
        w.Folder("d", Record(16));
        w.File("f", "abc", 3, Record(32));
        w.Up();
        w.Up();
    });
    struct Case {
        bool RecordingSink::*knob;
        Result result;
        size_t traceLength;
    };
    const Case cases[] = {
        {&RecordingSink::failFolder, Result::FolderFailed, 1},
        {&RecordingSink::failOpen, Result::FileCreateFailed, 3},
        {&RecordingSink::failWrite, Result::FileWriteFailed, 4},
        // Content still buffered when closing is lost: a failed write too,
        // and the file gets no attributes.
        {&RecordingSink::failClose, Result::FileWriteFailed, 4},
        {&RecordingSink::failAttributes, Result::AttributesFailed, 5},
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        sink.*c.knob = true;
        EXPECT_EQ(ReadPayload(payload, sink), c.result);
        EXPECT_EQ(sink.trace.size(), c.traceLength);
    }
}

TEST(ArchiveReader, AFinishedStreamLosesItsLastRecords)
{
    // A writer that finishes the zlib stream: the step that reaches its end
    // fails, so the closing "U" never arrives.
    std::string archive = "F\r\nf\r\n1\r\nx" + std::string(28, '\0') + "U\r\n";
    uLongf room = compressBound(static_cast<uLong>(archive.size()));
    std::string payload(room, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&payload[0]), &room,
                        reinterpret_cast<const Bytef*>(archive.data()), static_cast<uLong>(archive.size()), 9),
              Z_OK);
    payload.resize(room);
    RecordingSink sink;
    EXPECT_EQ(ReadPayload(payload, sink), Result::Damaged);
    EXPECT_TRUE(sink.trace.empty());
}

} // namespace
