#include "bench/BenchPayload.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "bench/BenchContent.h"
#include "payload/PayloadWriter.h"
#include "tests/shared/FileSink.h"
#include "tools/BuildOptions.h"

namespace {

constexpr uint64_t kLargeFile = 25000000;
constexpr int kFolders = 40;
constexpr int kFilesPerFolder = 100;
// Pieces of content of one kind: large files change kind every 64 KiB, as
// programs and archives do.
constexpr size_t kKindRun = 65536;

// Times of their own for entry n: created, accessed a second later, written
// two seconds later, n days apart (from 2023).
FileAttributeRecord Record(uint32_t attributes, uint32_t n)
{
    const uint64_t second = 10000000ull;
    const uint64_t created = 0x01D9000000000000ull + n * 86400ull * second;
    FileAttributeRecord r;
    r.attributes = attributes;
    r.creationTime = created;
    r.lastAccessTime = created + second;
    r.lastWriteTime = created + 2 * second;
    return r;
}

void WriteFile(PayloadWriter& w, BenchContent& content, const char* name, uint64_t size, uint32_t n)
{
    w.FileBegin(name, static_cast<int64_t>(size));
    for (uint64_t done = 0; done < size;) {
        const size_t piece = static_cast<size_t>(size - done < kKindRun ? size - done : kKindRun);
        const std::string bytes = content.Content(piece);
        w.FileContent(bytes.data(), bytes.size());
        done += piece;
    }
    w.FileEnd(Record(0x20, n));
}

void WriteLargeFiles(PayloadWriter& w, BenchContent& content, uint64_t megabytes)
{
    const uint64_t files = megabytes * 1000000ull / kLargeFile;
    w.Folder("large", Record(0x10, 0));
    char name[32];
    for (uint64_t i = 0; i < files && !w.Failed(); ++i) {
        std::snprintf(name, sizeof name, "part%03" PRIu64 ".bin", i);
        WriteFile(w, content, name, kLargeFile, static_cast<uint32_t>(i));
    }
    w.Up();
}

void WriteManyFiles(PayloadWriter& w, BenchContent& content)
{
    char name[32];
    for (int folder = 0; folder < kFolders && !w.Failed(); ++folder) {
        std::snprintf(name, sizeof name, "folder%02d", folder);
        w.Folder(name, Record(0x10, static_cast<uint32_t>(folder)));
        for (int i = 0; i < kFilesPerFolder && !w.Failed(); ++i) {
            std::snprintf(name, sizeof name, "file%03d.%s", i, i % 3 == 0 ? "txt" : "dat");
            WriteFile(w, content, name, 1024 + content.Below(23 * 1024 + 1), static_cast<uint32_t>(i));
        }
        w.Up();
    }
}

// front, then what write puts into the writer, then the closing record.
template <typename Write>
bool MakeFile(const std::string& path, const std::string& front, Write write)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(front.data(), 1, front.size(), f) == front.size();
    {
        FileSink sink(f);
        PayloadWriter w(sink, BuildOptions::kDefaultLevel);
        write(w);
        w.Up();
        ok = ok && !w.Failed();
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

} // namespace

bool BenchPayload::Make(const std::string& path, const std::string& front, Shape shape, uint64_t megabytes)
{
    BenchContent content(2028);
    return MakeFile(path, front, [&](PayloadWriter& w) {
        if (shape == kLargeFiles)
            WriteLargeFiles(w, content, megabytes);
        else if (shape == kManyFiles)
            WriteManyFiles(w, content);
    });
}

bool BenchPayload::MakeStartUp(const std::string& path, const std::string& front, const std::string& installer,
                               const char* installerName)
{
    BenchContent content(2029);
    return MakeFile(path, front, [&](PayloadWriter& w) {
        // Times of 0 leave the file the time it was written at.
        const std::string first = content.Content(1024);
        w.File(kFirstFile, first.data(), static_cast<int64_t>(first.size()), FileAttributeRecord{0x20, 0, 0, 0});
        w.File(installerName, installer.data(), static_cast<int64_t>(installer.size()), Record(0x20, 1));
    });
}
