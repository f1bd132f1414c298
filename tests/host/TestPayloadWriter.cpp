// The attribute record's byte layout, and the payload writer's stream as
// bare zlib sees it: header, a sync flush after every piece, never finished.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include <zlib.h>

#include "payload/Crc32.h"
#include "payload/PayloadWriter.h"
#include "support/FileAttributeRecord.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestBytes.h"

using testkit::Record;

namespace {

using Bytes = std::vector<uint8_t>;

class VectorSink : public PayloadWriter::Sink {
public:
    bool Put(const uint8_t* data, size_t length) override
    {
        if (failAfter >= 0 && static_cast<int64_t>(bytes.size() + length) > failAfter)
            return false;
        bytes.insert(bytes.end(), data, data + length);
        return true;
    }
    Bytes bytes;
    int64_t failAfter = -1; // refuse once this many bytes would be exceeded
};

std::string RecordBytes(const FileAttributeRecord& r)
{
    uint8_t bytes[FileAttributeRecord::kSize];
    r.Encode(bytes);
    return std::string(bytes, bytes + sizeof bytes);
}

// The check line after a File record, with zlib's own CRC-32 as reference.
std::string CheckLine(const std::string& content)
{
    char line[16];
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
    std::snprintf(line, sizeof line, "C%08lX\r\n", crc);
    return line;
}

const uint8_t kSyncMarker[4] = {0x00, 0x00, 0xFF, 0xFF};

bool EndsWithSyncMarker(const Bytes& b, size_t end)
{
    return end >= 4 && std::equal(kSyncMarker, kSyncMarker + 4, b.begin() + static_cast<std::ptrdiff_t>(end - 4));
}

// Inflates a payload as one zlib stream, feeding it up to each place that
// ends with an empty stored block (00 00 FF FF) and noting how much of the
// archive had come out there: after a sync flush, everything written so far
// inflates. Fails the test on an inflate error.
struct Inflated {
    std::string archive;
    std::set<size_t> flushPoints; // archive lengths at the sync markers
    int lastResult = Z_OK;
};

Inflated InflateAtFlushes(const Bytes& payload)
{
    Inflated result;
    z_stream zs{};
    EXPECT_EQ(inflateInit(&zs), Z_OK);
    std::vector<uint8_t> out(1 << 16);
    size_t fed = 0;
    for (size_t end = 4; end <= payload.size(); ++end) {
        if (!EndsWithSyncMarker(payload, end) && end != payload.size())
            continue;
        zs.next_in = const_cast<Bytef*>(payload.data() + fed);
        zs.avail_in = static_cast<uInt>(end - fed);
        fed = end;
        do {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            result.lastResult = inflate(&zs, Z_SYNC_FLUSH);
            result.archive.append(out.begin(), out.end() - zs.avail_out);
        } while (result.lastResult == Z_OK && (zs.avail_in > 0 || zs.avail_out == 0));
        EXPECT_TRUE(result.lastResult == Z_OK || result.lastResult == Z_BUF_ERROR)
            << "inflate: " << result.lastResult << " at " << end;
        if (result.lastResult != Z_OK && result.lastResult != Z_BUF_ERROR)
            break;
        if (EndsWithSyncMarker(payload, end))
            result.flushPoints.insert(result.archive.size());
    }
    inflateEnd(&zs);
    return result;
}

} // namespace

// ---------------------------------------------------------------------------
// FileAttributeRecord

TEST(FileAttributeRecord, LayoutIsLittleEndianWithoutGaps)
{
    FileAttributeRecord r;
    r.attributes = 0x04030201u;
    r.creationTime = 0x1817161514131211ull;
    r.lastAccessTime = 0x2827262524232221ull;
    r.lastWriteTime = 0x3837363534333231ull;
    const uint8_t expected[28] = {
        0x01, 0x02, 0x03, 0x04,                         // 0: attributes
        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, // 4: creation, low word first
        0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, // 12: last access
        0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, // 20: last write
    };
    uint8_t bytes[29];
    bytes[28] = 0xEE;
    r.Encode(bytes);
    EXPECT_EQ(Bytes(bytes, bytes + 28), Bytes(expected, expected + 28));
    EXPECT_EQ(bytes[28], 0xEE) << "writes exactly 28 bytes";

    // Decoding needs no alignment: read from an odd address.
    uint8_t shifted[29] = {0xAA};
    std::copy(expected, expected + 28, shifted + 1);
    FileAttributeRecord d = FileAttributeRecord::Decode(shifted + 1);
    EXPECT_EQ(d.attributes, r.attributes);
    EXPECT_EQ(d.creationTime, r.creationTime);
    EXPECT_EQ(d.lastAccessTime, r.lastAccessTime);
    EXPECT_EQ(d.lastWriteTime, r.lastWriteTime);
}

TEST(FileAttributeRecord, RoundTripsExtremes)
{
    const struct {
        uint32_t attributes;
        uint64_t time;
    } cases[] = {
        {0, 0},
        {0x20, 0x01D9'1234'89AB'CDEFull}, // a file, 2023
        {0x10, 0x8000'0000'0000'0000ull}, // a folder; top bit of the high word
        {0xFFFFFFFFu, 0xFFFF'FFFF'FFFF'FFFDull},
        {0x80000021u, 0x0000'0000'FFFF'FFFFull}, // carry between the words
    };
    for (const auto& c : cases) {
        FileAttributeRecord r = Record(c.attributes, c.time, c.time + 1, c.time + 2);
        uint8_t bytes[FileAttributeRecord::kSize];
        r.Encode(bytes);
        FileAttributeRecord d = FileAttributeRecord::Decode(bytes);
        EXPECT_EQ(d.attributes, c.attributes);
        EXPECT_EQ(d.creationTime, r.creationTime);
        EXPECT_EQ(d.lastAccessTime, r.lastAccessTime);
        EXPECT_EQ(d.lastWriteTime, r.lastWriteTime);
    }
}

// ---------------------------------------------------------------------------
// PayloadWriter

// The example archive: setup.bmp, data\a.ini and lvxrun.exe.
TEST(PayloadWriter, ExampleArchiveInflatesToExactRecords)
{
    const std::string bmp = "BM\x01\x02\x03";
    std::string exe(1024, '\0');
    for (size_t i = 0; i < exe.size(); ++i)
        exe[i] = static_cast<char>(i * 7 + 3);
    const FileAttributeRecord bmpRecord = Record(0x20, 0x01D9000000000000ull, 0x01D9000000000001ull, 0x01D9000000000002ull);
    const FileAttributeRecord dataRecord = Record(0x10, 0x01D9000000000100ull, 0x01D9000000000101ull, 0x01D9000000000102ull);
    const FileAttributeRecord iniRecord = Record(0x21, 0x01D9000000000200ull, 0x01D9000000000201ull, 0x01D9000000000202ull);
    const FileAttributeRecord exeRecord = Record(0x20, 0x01D9000000000300ull, 0x01D9000000000301ull, 0x01D9000000000302ull);

    VectorSink sink;
    PayloadWriter writer(sink);
    ASSERT_TRUE(writer.File("setup.bmp", bmp.data(), 5, bmpRecord));
    ASSERT_TRUE(writer.Folder("data", dataRecord));
    ASSERT_TRUE(writer.File("a.ini", nullptr, 0, iniRecord));
    ASSERT_TRUE(writer.Up());
    ASSERT_TRUE(writer.File("lvxrun.exe", exe.data(), 1024, exeRecord));
    ASSERT_TRUE(writer.Up());

    const std::string expected = "C\r\n" // every file has its check line
                                 "F\r\nsetup.bmp\r\n5\r\n" + bmp + RecordBytes(bmpRecord) + CheckLine(bmp) +
                                 "D\r\ndata\r\n" + RecordBytes(dataRecord) +
                                 "F\r\na.ini\r\n0\r\n" + RecordBytes(iniRecord) + // no content bytes
                                 "C00000000\r\n" +
                                 "U\r\n" +
                                 "F\r\nlvxrun.exe\r\n1024\r\n" + exe + RecordBytes(exeRecord) + CheckLine(exe) +
                                 "U\r\n";
    EXPECT_EQ(CheckLine(bmp), "C279225DB\r\n"); // one check line spelled out
    // One record's bytes spelled out: attributes 0x20, then the three times.
    EXPECT_EQ(RecordBytes(bmpRecord), std::string("\x20\0\0\0"
                                                  "\0\0\0\0\0\0\xD9\x01"
                                                  "\1\0\0\0\0\0\xD9\x01"
                                                  "\2\0\0\0\0\0\xD9\x01",
                                                  28));

    const Bytes& payload = sink.bytes;
    ASSERT_GE(payload.size(), 6u);
    EXPECT_EQ(payload[0], 0x78);
    EXPECT_EQ(payload[1], 0xDA);
    EXPECT_TRUE(EndsWithSyncMarker(payload, payload.size()));

    Inflated in = InflateAtFlushes(payload);
    EXPECT_EQ(in.archive, expected);
    EXPECT_EQ(in.lastResult, Z_OK) << "the stream must stay open: no final block, no trailer";
    EXPECT_EQ(writer.ArchiveBytes(), expected.size());
    EXPECT_EQ(writer.PayloadBytes(), payload.size());
}

// Every piece is flushed by itself: each tag, name and size, each CR LF,
// each 8192-byte slice of content, each attribute record.
TEST(PayloadWriter, EveryPieceEndsWithSyncFlush)
{
    std::string big(20000, 'x');
    for (size_t i = 0; i < big.size(); i += 13)
        big[i] = static_cast<char>(i);
    VectorSink sink;
    PayloadWriter writer(sink);
    ASSERT_TRUE(writer.Folder("d", Record(0x10, 1)));
    ASSERT_TRUE(writer.FileBegin("big.bin", 20000));
    ASSERT_TRUE(writer.FileContent(big.data(), 100));   // 100
    ASSERT_TRUE(writer.FileContent(big.data() + 100, 19900)); // 8192, 8192, 3516
    ASSERT_TRUE(writer.FileEnd(Record(0x20, 2)));
    ASSERT_TRUE(writer.Line("comment"));
    ASSERT_TRUE(writer.Up());
    ASSERT_TRUE(writer.Up());

    // Archive offsets at which a piece ends.
    std::vector<size_t> pieceLengths = {1, 2,                        // check lines announced
                                        1, 2, 1, 2, 28,             // D, name d, record
                                        1, 2, 7, 2, 5, 2,            // F, big.bin, 20000
                                        100, 8192, 8192, 3516, 28,   // content, record
                                        9, 2,                        // check line
                                        7, 2, 1, 2, 1, 2};           // comment, U, U
    std::set<size_t> boundaries;
    size_t at = 0;
    for (size_t n : pieceLengths)
        boundaries.insert(at += n);

    Inflated in = InflateAtFlushes(sink.bytes);
    ASSERT_EQ(in.archive.size(), at);
    EXPECT_EQ(in.archive.substr(0, 8), "C\r\nD\r\nd\r");
    for (size_t b : boundaries)
        EXPECT_TRUE(in.flushPoints.count(b)) << "no sync flush after archive byte " << b;
    EXPECT_EQ(in.lastResult, Z_OK);
}

// The launcher reads the payload in 8192-byte pieces and inflates each with
// Z_SYNC_FLUSH; the end of the stream would count as damage.
TEST(PayloadWriter, StreamIsNeverFinished)
{
    VectorSink sink;
    PayloadWriter writer(sink);
    std::string content(30000, 'q');
    ASSERT_TRUE(writer.File("f", content.data(), static_cast<int64_t>(content.size()), Record(0x20, 5)));
    ASSERT_TRUE(writer.Up());

    z_stream zs{};
    ASSERT_EQ(inflateInit(&zs), Z_OK);
    std::vector<uint8_t> out(64 * 1024);
    size_t total = 0;
    for (size_t at = 0; at < sink.bytes.size(); at += 8192) {
        zs.next_in = sink.bytes.data() + at;
        zs.avail_in = static_cast<uInt>(std::min<size_t>(8192, sink.bytes.size() - at));
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(inflate(&zs, Z_SYNC_FLUSH), Z_OK) << "piece at " << at;
        EXPECT_EQ(zs.avail_in, 0u);
        total += out.size() - zs.avail_out;
    }
    inflateEnd(&zs);
    EXPECT_EQ(total, 1 + 2 + 1 + 2 + 1 + 2 + 5 + 2 + content.size() + 28 + 9 + 2 + 1 + 2);
    // No Adler-32 trailer: the stream ends with the last flush marker.
    EXPECT_TRUE(EndsWithSyncMarker(sink.bytes, sink.bytes.size()));
}

// The launcher's CRC-32 against zlib's, over content fed in uneven pieces.
TEST(Crc32, AgreesWithZlib)
{
    const std::string noise = NoiseBytes(70001, 12345);
    const std::string inputs[] = {"", "a", "123456789", std::string(1000, '\0'), std::string(3, '\xFF'), noise};
    for (const std::string& in : inputs) {
        SCOPED_TRACE(in.size());
        std::unique_ptr<Crc32> made(new Crc32);
        Crc32& crc = *made;
        const uint8_t* p = reinterpret_cast<const uint8_t*>(in.data());
        for (size_t at = 0, step = 1; at < in.size(); at += step, step = step * 3 + 1)
            crc.Update(p + at, std::min(step, in.size() - at));
        EXPECT_EQ(crc.Value(), crc32(0L, p, static_cast<uInt>(in.size())));
        crc.Reset();
        crc.Update(p, in.size());
        EXPECT_EQ(crc.Value(), crc32(0L, p, static_cast<uInt>(in.size())));
    }
    std::unique_ptr<Crc32> check(new Crc32);
    check->Update(reinterpret_cast<const uint8_t*>("123456789"), 9);
    EXPECT_EQ(check->Value(), 0xCBF43926u); // the published check value
}

// Every level writes the same archive, level 0 (stored) included, and
// leaves the stream open; archives without check lines, as builders wrote
// them before, on request.
TEST(PayloadWriter, LevelsAndCheckLinesOff)
{
    const std::string content = "content content content";
    for (int level = 0; level <= 9; ++level) {
        for (bool checks : {true, false}) {
            SCOPED_TRACE(std::to_string(level) + (checks ? " with checks" : " without"));
            VectorSink sink;
            PayloadWriter writer(sink, level);
            writer.SetCheckLines(checks);
            ASSERT_TRUE(writer.File("f", content.data(), static_cast<int64_t>(content.size()), Record(0x20, 0)));
            ASSERT_TRUE(writer.Up());
            ASSERT_GE(sink.bytes.size(), 2u);
            EXPECT_EQ(sink.bytes[0], 0x78);
            EXPECT_EQ((sink.bytes[0] * 256 + sink.bytes[1]) % 31, 0); // a valid zlib header
            Inflated in = InflateAtFlushes(sink.bytes);
            EXPECT_EQ(in.archive, (checks ? "C\r\nF\r\nf\r\n" : "F\r\nf\r\n") + std::to_string(content.size()) + "\r\n" + content +
                                      RecordBytes(Record(0x20, 0)) + (checks ? CheckLine(content) : "") + "U\r\n");
            EXPECT_EQ(in.lastResult, Z_OK) << "the stream must stay open: no final block, no trailer";
            if (level == 0) {
                EXPECT_EQ(sink.bytes[1], 0x01); // the header of level 0
                const std::string stored(sink.bytes.begin(), sink.bytes.end());
                EXPECT_NE(stored.find(content), std::string::npos) << "stored as it is";
            }
        }
    }
    VectorSink sink;
    for (int level : {-1, 10}) {
        PayloadWriter writer(sink, level);
        EXPECT_TRUE(writer.Failed()) << level;
    }
}

TEST(PayloadWriter, SmallestArchiveIsOneUpLine)
{
    VectorSink sink;
    PayloadWriter writer(sink);
    writer.SetCheckLines(false);
    ASSERT_TRUE(writer.Up());
    EXPECT_EQ(InflateAtFlushes(sink.bytes).archive, "U\r\n");
    VectorSink announced;
    PayloadWriter checked(announced);
    ASSERT_TRUE(checked.Up());
    EXPECT_EQ(InflateAtFlushes(announced.bytes).archive, "C\r\nU\r\n");
}

TEST(PayloadWriter, EmptyAndNullNamesAreEmptyLines)
{
    VectorSink sink;
    PayloadWriter writer(sink);
    ASSERT_TRUE(writer.File("", "a", 1, Record(0x20, 0)));
    ASSERT_TRUE(writer.Folder(nullptr, Record(0x10, 0)));
    Inflated in = InflateAtFlushes(sink.bytes);
    EXPECT_EQ(in.archive.substr(3, 9), "F\r\n\r\n1\r\na");
    EXPECT_EQ(in.archive.substr(3 + 9 + 28 + 11, 5), "D\r\n\r\n");
}

TEST(PayloadWriter, NegativeSizeLineTakesNoContent)
{
    VectorSink sink;
    PayloadWriter writer(sink);
    ASSERT_TRUE(writer.FileBegin("bad", -5));
    EXPECT_TRUE(writer.FileEnd(Record(0x20, 0)));
    EXPECT_EQ(InflateAtFlushes(sink.bytes).archive.substr(3, 12), "F\r\nbad\r\n-5\r\n");
}

// What would make an unreadable archive fails the writer for good.
TEST(PayloadWriter, RefusesRecordsThatBreakTheArchive)
{
    enum Misuse { CrInName, LfInName, ContentTooLong, ContentTooShort, FolderInsideFile,
                  UpInsideFile, ContentOutsideFile, EndOutsideFile, NullContent };
    for (Misuse m : {CrInName, LfInName, ContentTooLong, ContentTooShort, FolderInsideFile,
                     UpInsideFile, ContentOutsideFile, EndOutsideFile, NullContent}) {
        VectorSink sink;
        PayloadWriter writer(sink);
        const FileAttributeRecord r = Record(0x20, 0);
        bool ok = true;
        switch (m) {
        case CrInName: ok = writer.Folder("a\rb", r); break;
        case LfInName: ok = writer.File("a\nb", "x", 1, r); break;
        case ContentTooLong: ok = writer.FileBegin("a", 2) && writer.FileContent("xyz", 3); break;
        case ContentTooShort: ok = writer.FileBegin("a", 3) && writer.FileContent("xy", 2) && writer.FileEnd(r); break;
        case FolderInsideFile: ok = writer.FileBegin("a", 1) && writer.Folder("b", r); break;
        case UpInsideFile: ok = writer.FileBegin("a", 1) && writer.Up(); break;
        case ContentOutsideFile: ok = writer.FileContent("x", 1); break;
        case EndOutsideFile: ok = writer.FileEnd(r); break;
        case NullContent: ok = writer.File("a", nullptr, 4, r); break;
        }
        EXPECT_FALSE(ok) << "misuse #" << m;
        EXPECT_TRUE(writer.Failed()) << "misuse #" << m;
        EXPECT_FALSE(writer.Up()) << "misuse #" << m << ": a failed writer writes nothing more";
    }
}

TEST(PayloadWriter, SinkFailureStopsTheWriter)
{
    VectorSink sink;
    sink.failAfter = 10;
    PayloadWriter writer(sink);
    std::string content(5000, 'z');
    EXPECT_FALSE(writer.File("f", content.data(), 5000, Record(0x20, 0)));
    EXPECT_TRUE(writer.Failed());
    EXPECT_FALSE(writer.Up());
    EXPECT_LE(sink.bytes.size(), 10u);
}
