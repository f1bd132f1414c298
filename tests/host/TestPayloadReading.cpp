// Reading payloads from a file as extraction does: seek, attach the inflate
// stage, read records with the archive record loop; finished, cut and
// damaged streams.
#include <gtest/gtest.h>

#include <string>
#include <zlib.h>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveReader.h"
#include "payload/PayloadWriter.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestBytes.h"
#include "tests/shared/TestFolder.h"

using testkit::Record;

namespace {

using Result = ArchiveReader::Result;

// The folder the archive's top level stands for.
constexpr const char* kWork = "C:\\w";

// Writes what the record loop asked for as one text, with the content of
// each file kept aside.
class Log : public ArchiveSink {
public:
    void BetweenRecords() override {}
    bool CreateFolder(const char* path) override
    {
        text += std::string("D ") + path;
        return true;
    }
    void ApplyFolder(const char* path, const FileAttributeRecord& r) override
    {
        // Once when the folder is made (its path is logged then), and again
        // when it is closed.
        if (!text.empty() && text.back() == '|')
            text += std::string("U ") + path;
        text += Times(r);
    }
    bool OpenFile(const char* path) override
    {
        text += std::string("F ") + path;
        content.clear();
        return true;
    }
    int32_t WriteFile(const uint8_t* bytes, int32_t length) override
    {
        content.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
        return length;
    }
    bool CloseFile() override
    {
        text += " " + std::to_string(content.size());
        contents.push_back(content);
        return true;
    }
    bool ApplyFile(const char*, const FileAttributeRecord& r) override
    {
        text += Times(r);
        return true;
    }

    std::string text;
    std::string content;
    std::vector<std::string> contents;

private:
    static std::string Times(const FileAttributeRecord& r)
    {
        return " " + std::to_string(r.attributes) + "/" + std::to_string(r.creationTime) + "/" +
               std::to_string(r.lastAccessTime) + "/" + std::to_string(r.lastWriteTime) + "|";
    }
};

class PayloadReading : public ::testing::Test {
protected:
    // The path of a new file holding bytes (empty when it cannot be
    // written, which the opening that follows reports).
    std::string Put(const std::string& bytes) { return folder.WriteNew(bytes); }

    // Opens the file, seeks to offset and attaches the stage, as extraction
    // does, then reads the records.
    Result Walk(const std::string& fileBytes, int32_t offset, Log* log)
    {
        RCFile reader;
        EXPECT_TRUE(reader.Open(Put(fileBytes).c_str(), RCFile::kRead));
        EXPECT_TRUE(reader.Seek(offset));
        RCDecompress stage(ArchiveFormat::kPieceSize);
        EXPECT_TRUE(reader.SetInputTransform(&stage));
        Log none;
        Result result = ArchiveReader::Read(reader, kWork, log != nullptr ? *log : none);
        reader.SetInputTransform(nullptr);
        return result;
    }

    TestFolder folder{"payload"};
};

TEST_F(PayloadReading, ArchiveBehindAStubImage)
{
    const std::string bmp = "BM\x01\x02\x03";
    const std::string big = NoiseBytes(30000, 11) + std::string(70000, 'q') + NoiseBytes(123, 12);
    const std::string exe = NoiseBytes(1024, 13);
    StringSink sink;
    PayloadWriter w(sink);
    w.File("setup.bmp", bmp.data(), 5, Record(0x20, 100, 101, 102));
    w.Folder("data", Record(0x10, 200, 201, 202));
    w.File("a.ini", nullptr, 0, Record(0x20, 300, 301, 302));
    w.Line("comment"); // unknown tags are skipped
    w.File("\x83\x5C\x83\x74\x83\x67.dat", big.data(), static_cast<int64_t>(big.size()), Record(0x21, 400, 401, 402));
    w.Up();
    w.File("lvxrun.exe", exe.data(), 1024, Record(0x20, 500, 501, 502));
    w.Up();
    ASSERT_FALSE(w.Failed());

    // The stub image is not a multiple of the raw piece size.
    const std::string stub = NoiseBytes(12345, 14);
    Log log;
    EXPECT_EQ(Walk(stub + sink.bytes, static_cast<int32_t>(stub.size()), &log), Result::Complete);
    EXPECT_EQ(log.text,
              "F C:\\w\\setup.bmp 5 32/100/101/102|"
              "D C:\\w\\data 16/200/201/202|"
              "F C:\\w\\data\\a.ini 0 32/300/301/302|"
              "F C:\\w\\data\\\x83\x5C\x83\x74\x83\x67.dat 100123 33/400/401/402|"
              "U C:\\w\\data 16/200/201/202|"
              "F C:\\w\\lvxrun.exe 1024 32/500/501/502|");
    ASSERT_EQ(log.contents.size(), 4u);
    EXPECT_EQ(log.contents[0], bmp);
    EXPECT_EQ(log.contents[1], "");
    EXPECT_TRUE(log.contents[2] == big);
    EXPECT_TRUE(log.contents[3] == exe);
}

TEST_F(PayloadReading, WhereTheArchiveEnds)
{
    StringSink sink;
    PayloadWriter w(sink);
    w.Folder("f", Record(0x10, 1));
    w.File("x", "abc", 3, Record(0x20, 2));
    const size_t beforeUps = sink.bytes.size();
    w.Up();
    const size_t beforeLastUp = sink.bytes.size();
    w.Up();
    const std::string archive = sink.bytes;
    w.Line("F"); // the same stream goes on behind the closing U

    // "U" CR LF in a stream with its final block: the one step fails.
    std::string finished(64, '\0');
    uLongf length = 64;
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&finished[0]), &length, reinterpret_cast<const Bytef*>("U\r\n"), 3, 9),
              Z_OK);
    finished.resize(length);

    struct Case {
        const char* what;
        std::string file;
        Result result;
    };
    const Case cases[] = {
        {"whole", archive, Result::Complete},
        {"only U", SyncFlushed({"U\r\n"}), Result::Complete},
        {"more sync-flushed data behind the closing U", sink.bytes, Result::Complete},
        {"garbage behind the closing U, same raw piece", archive + "garbage", Result::Damaged},
        {"U of the folder missing", archive.substr(0, beforeUps), Result::Damaged},
        {"closing U missing", archive.substr(0, beforeLastUp), Result::Damaged},
        {"cut in the header", archive.substr(0, 1), Result::Damaged},
        {"cut in the first record", archive.substr(0, 12), Result::Damaged},
        {"empty file", "", Result::Damaged},
        {"finished stream", finished, Result::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Walk(c.file, 0, nullptr), c.result);
    }
}

TEST_F(PayloadReading, SizeLinesAndLongLines)
{
    const std::string zeros(28, '\0');
    const std::string size4096 = std::string(4095, '0') + "2";
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        Result result;
        std::string log;
    };
    const Case cases[] = {
        {"negative size", {"F\r\n", "x\r\n", "-1\r\n"}, Result::Damaged, ""},
        // A size line is plain decimal digits up to 2147483647, nothing else:
        // a value that would wrap around in 32 bits would leave the rest of
        // the content to be read as records.
        {"size without digits", {"F\r\n", "x\r\n", "abc\r\n", zeros, "U\r\n"}, Result::Damaged, ""},
        {"empty size line", {"F\r\n", "x\r\n", "\r\n", zeros, "U\r\n"}, Result::Damaged, ""},
        {"size with a sign and blanks", {"F\r\n", "x\r\n", " +2z\r\n", "ab", zeros, "U\r\n"}, Result::Damaged, ""},
        {"size with a plus sign", {"F\r\n", "x\r\n", "+2\r\n", "ab", zeros, "U\r\n"}, Result::Damaged, ""},
        {"size with a letter after the digits", {"F\r\n", "x\r\n", "2z\r\n", "ab", zeros, "U\r\n"}, Result::Damaged, ""},
        {"size that wraps to 5 in 32 bits",
         {"F\r\n", "x\r\n", "4294967301\r\n", "abcde", zeros, "U\r\n"}, Result::Damaged, ""},
        {"size one past the largest", {"F\r\n", "x\r\n", "2147483648\r\n", "ab", zeros, "U\r\n"}, Result::Damaged, ""},
        {"size with leading zeros", {"F\r\n", "x\r\n", "007\r\n", "abcdefg", zeros, "U\r\n"}, Result::Complete,
         "F C:\\w\\x 7 0/0/0/0|"},
        {"size line at the bound", {"F\r\n", "x\r\n", size4096 + "\r\n", "ab", zeros, "U\r\n"}, Result::Complete,
         "F C:\\w\\x 2 0/0/0/0|"},
        {"size line over the bound", {"F\r\n", "x\r\n", size4096 + "0\r\n", "ab", zeros, "U\r\n"}, Result::Damaged, ""},
        {"tag line over the bound", {std::string(4097, 'F') + "\r\n", "U\r\n"}, Result::Damaged, ""},
        // Read whole as a line, then refused as a name: nothing is created.
        {"name at the line bound", {"F\r\n", std::string(4096, 'n') + "\r\n", "0\r\n", zeros, "U\r\n"},
         Result::Damaged, ""},
        {"size beyond the data", {"F\r\n", "x\r\n", "2147483647\r\n", "abc"}, Result::Damaged, "F C:\\w\\x 0"},
        {"short record", {"D\r\n", "d\r\n", zeros.substr(1)}, Result::Damaged, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Log log;
        EXPECT_EQ(Walk(SyncFlushed(c.pieces), 0, &log), c.result);
        EXPECT_EQ(log.text, c.log);
    }
}

TEST_F(PayloadReading, FinishedStreamStopsShort)
{
    // Incompressible data: stored blocks, each raw piece inflates whole.
    const std::string data = NoiseBytes(30000, 21);
    std::string finished(compressBound(30000), '\0');
    uLongf length = static_cast<uLongf>(finished.size());
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&finished[0]), &length, reinterpret_cast<const Bytef*>(data.data()),
                        30000, 9),
              Z_OK);
    finished.resize(length);
    const size_t fullPieces = (finished.size() - 1) / ArchiveFormat::kPieceSize;
    ASSERT_GE(fullPieces, 3u);

    struct Case {
        const char* what;
        std::string file;
        size_t delivered;
    };
    const Case cases[] = {
        {"finished: the last step's output is lost", finished, BareInflate(finished.substr(0, fullPieces * ArchiveFormat::kPieceSize)).size()},
        {"sync-flushed, never finished: all of it", SyncFlushed({data}), data.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RCFile reader;
        ASSERT_TRUE(reader.Open(Put(c.file).c_str(), RCFile::kRead));
        RCDecompress stage(ArchiveFormat::kPieceSize);
        ASSERT_TRUE(reader.SetInputTransform(&stage));
        std::string got(40000, '\0');
        int32_t n = reader.Read(&got[0], 40000);
        ASSERT_GE(n, 0);
        got.resize(static_cast<size_t>(n));
        EXPECT_EQ(got.size(), c.delivered);
        EXPECT_TRUE(got == data.substr(0, got.size()));
        EXPECT_EQ(reader.Read(&got[0], 1), 0);
        reader.SetInputTransform(nullptr);
    }
}

} // namespace
