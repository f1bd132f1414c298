// Writes the seed inputs of the streams fuzzer: small valid payloads, as the
// builder writes them, and a few archives as plain (uncompressed) records.
//   make_fuzz_seeds DIR
#include <cstdio>
#include <string>

#include "payload/PayloadWriter.h"
#include "support/FileAttributeRecord.h"
#include "tests/shared/StringSink.h"
#include "tests/shared/TestArchive.h"

using testkit::Record;

namespace {

std::string RecordBytes(uint32_t attributes)
{
    uint8_t bytes[FileAttributeRecord::kSize];
    Record(attributes).Encode(bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Text-like content that compresses the way text files do, or bytes that
// do not compress at all.
std::string Content(size_t length, bool noise = false)
{
    static const char* const words[] = {"setup ", "data ", "file ", "folder ", "install ", "run\r\n", "0x1F "};
    std::string s;
    uint32_t x = 12345;
    while (s.size() < length) {
        x = x * 1103515245u + 12345u;
        if (noise)
            s += static_cast<char>(x >> 24);
        else
            s += words[(x >> 16) % (sizeof words / sizeof words[0])];
    }
    s.resize(length);
    return s;
}

bool Save(const std::string& dir, const char* name, const std::string& bytes)
{
    std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    { // the smallest archive
        StringSink s;
        PayloadWriter w(s);
        w.Up();
        ok = Save(dir, "only-up", s.bytes) && ok;
    }
    { // files and a folder, like a small installer
        StringSink s;
        PayloadWriter w(s);
        std::string bmp = Content(5);
        std::string exe = Content(1024);
        w.File("setup.bmp", bmp.data(), 5, Record(0x20));
        w.Folder("data", Record(0x10));
        w.File("a.ini", nullptr, 0, Record(0x20));
        w.Up();
        w.File("lvxrun.exe", exe.data(), 1024, Record(0x20));
        w.Up();
        ok = Save(dir, "small-installer", s.bytes) && ok;
    }
    { // content over several pieces, nested folders, a Shift-JIS name, a skipped line
        StringSink s;
        PayloadWriter w(s);
        std::string big = Content(20000);
        w.Folder("a", Record(0x10));
        w.Folder("b", Record(0x12));
        w.Line("comment");
        w.File("\x83\x5C\x83\x74\x83\x67.txt", big.data(), static_cast<int64_t>(big.size()), Record(0x21));
        w.Up();
        w.Up();
        w.Up();
        ok = Save(dir, "nested", s.bytes) && ok;
    }
    { // names in UTF-8, said by the names line: a folder in Cyrillic, a character beyond U+FFFF
        StringSink s;
        PayloadWriter w(s);
        w.SetUtf8Names(true);
        w.Folder("\xd0\x94\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5", Record(0x10));
        w.File("R\xc3\xa9sum\xc3\xa9 \xf0\x9f\x98\x80.txt", "abc", 3, Record(0x20));
        w.Up();
        w.File("\xe4\xb8\xad\xe6\x96\x87.txt", nullptr, 0, Record(0x20));
        w.Up();
        ok = Save(dir, "utf8-names", s.bytes) && ok;
    }
    { // a payload longer than one raw piece of 8192 bytes
        StringSink s;
        PayloadWriter w(s);
        std::string noise = Content(9000, true);
        w.File("noise.bin", noise.data(), static_cast<int64_t>(noise.size()), Record(0x20));
        w.Up();
        ok = Save(dir, "two-raw-pieces", s.bytes) && ok;
    }
    { // lone CR and lone LF line ends, a NUL in a name
        StringSink s;
        PayloadWriter w(s);
        std::string rec = RecordBytes(0x20);
        w.Piece("F\rx\0y\n3\r\nabc", 13);
        w.Piece(rec.data(), rec.size());
        w.Piece("U\n", 2);
        ok = Save(dir, "line-ends", s.bytes) && ok;
    }
    { // plain records, for reading without the inflate stage
        std::string plain = "D\r\nd\r\n" + RecordBytes(0x10) + "F\r\nf\r\n4\r\nabcd" + RecordBytes(0x20) + "U\r\nU\r\n";
        ok = Save(dir, "plain-records", plain) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
