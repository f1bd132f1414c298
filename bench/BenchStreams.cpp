// Reading speed of a payload through RCFile + RCDecompress, reading records
// with the archive record loop as extraction does (output discarded), against a
// bare zlib inflate loop over the same file in the same run.
//
//   bench_streams [--size MB] [--runs N] [--file PATH]
//
// The payload (about 200 MB inflated by default: many small files and a few
// large ones; text-like, binary-like and incompressible content) is made
// deterministically and kept in PATH for later runs.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "bench/BenchContent.h"
#include "payload/ArchiveReader.h"
#include "payload/PayloadWriter.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "tests/shared/DiscardingSink.h"

namespace {

constexpr int32_t kPiece = 8192;

class FileSink : public PayloadWriter::Sink {
public:
    explicit FileSink(std::FILE* f) : f_(f) {}
    bool Put(const uint8_t* data, size_t length) override { return std::fwrite(data, 1, length, f_) == length; }

private:
    std::FILE* f_;
};

// Writes the payload; returns the archive (inflated) size, 0 on failure.
uint64_t MakePayload(const std::string& path, uint64_t targetBytes, uint64_t* files)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return 0;
    FileSink sink(f);
    PayloadWriter w(sink);
    BenchContent r(2024);
    FileAttributeRecord rec;
    rec.attributes = 0x20;
    rec.creationTime = rec.lastAccessTime = rec.lastWriteTime = 0x01D9000000000000ull;
    FileAttributeRecord folder = rec;
    folder.attributes = 0x10;
    // Half in a few large files, half in many small ones, in folders.
    const uint64_t large = targetBytes / 2;
    const int largeCount = 5;
    char name[64];
    *files = 0;
    for (int i = 0; i < largeCount && !w.Failed(); ++i) {
        size_t size = static_cast<size_t>(large / largeCount);
        std::snprintf(name, sizeof name, "large%02d.bin", i);
        w.FileBegin(name, static_cast<int64_t>(size));
        // In pieces of mixed kinds, as a large program or archive would be.
        for (size_t done = 0; done < size;) {
            size_t piece = std::min<size_t>(size - done, 65536);
            std::string bytes = r.Content(piece);
            w.FileContent(bytes.data(), bytes.size());
            done += piece;
        }
        w.FileEnd(rec);
        ++*files;
    }
    int folderIndex = 0;
    while (w.ArchiveBytes() < targetBytes && !w.Failed()) {
        std::snprintf(name, sizeof name, "folder%03d", folderIndex++);
        w.Folder(name, folder);
        for (int i = 0; i < 200 && w.ArchiveBytes() < targetBytes; ++i) {
            // Mostly a few KiB, sometimes tens of KiB, sometimes empty.
            uint32_t pick = r.Below(100);
            size_t size = pick < 5 ? 0 : pick < 85 ? 256 + r.Below(8192) : 8192 + r.Below(65536);
            std::string bytes = r.Content(size);
            std::snprintf(name, sizeof name, "file%05d.%s", i, pick % 3 == 0 ? "txt" : "dat");
            w.File(name, bytes.data(), static_cast<int64_t>(bytes.size()), rec);
            ++*files;
        }
        w.Up();
    }
    w.Up();
    bool ok = !w.Failed();
    ok = std::fclose(f) == 0 && ok;
    return ok ? w.ArchiveBytes() : 0;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this process (user and system), which other programs
// on a busy machine disturb far less than the wall clock.
double CpuSeconds()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
    };
    return value(kernel) + value(user);
#else
    timespec t{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0)
        return 0;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#endif
}

// The launcher's way: 1 when the archive reads complete, 0 on damage; the
// files and content bytes seen go to *files and *content.
uint64_t ReadWithStreams(const std::string& path, uint64_t* files, uint64_t* content)
{
    RCFile reader;
    if (!reader.Open(path.c_str(), RCFile::kRead) || !reader.Seek(0))
        return 0;
    RCDecompress stage(kPiece);
    reader.SetInputTransform(&stage);
    DiscardingSink sink;
    bool complete = ArchiveReader::Read(reader, "C:\\bench", sink) == ArchiveReader::Result::Complete;
    reader.SetInputTransform(nullptr);
    *files = sink.files;
    *content = sink.contentBytes;
    return complete ? 1 : 0;
}

// A bare loop: 8192-byte raw pieces, inflate with Z_SYNC_FLUSH into an
// 8192-byte window, output dropped; with `check`, zlib's CRC-32 taken over
// all of it into *check, the checking work that the launcher's check lines
// ask for (it takes the CRC of file content only). Returns the inflated
// bytes.
uint64_t ReadBare(const std::string& path, uint32_t* check = nullptr)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        std::fclose(f);
        return 0;
    }
    std::unique_ptr<uint8_t[]> in(new uint8_t[kPiece]);
    std::unique_ptr<uint8_t[]> out(new uint8_t[kPiece]);
    uint64_t total = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    bool ok = true;
    size_t n;
    while (ok && (n = std::fread(in.get(), 1, kPiece, f)) > 0) {
        zs.next_in = in.get();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = out.get();
            zs.avail_out = kPiece;
            int rc = inflate(&zs, Z_SYNC_FLUSH);
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                ok = false;
            total += kPiece - zs.avail_out;
            if (check != nullptr)
                crc = crc32(crc, out.get(), kPiece - zs.avail_out);
        } while (ok && (zs.avail_in > 0 || zs.avail_out == 0));
    }
    inflateEnd(&zs);
    std::fclose(f);
    if (check != nullptr)
        *check = static_cast<uint32_t>(crc);
    return ok ? total : 0;
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t megabytes = 200;
    int runs = 3;
    std::string path;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size") == 0)
            megabytes = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--file") == 0)
            path = argv[i + 1];
    }
    if (megabytes == 0 || runs <= 0) {
        std::fprintf(stderr, "usage: bench_streams [--size MB] [--runs N] [--file PATH]\n");
        return 2;
    }
    if (path.empty())
        path = "bench-payload-" + std::to_string(megabytes) + "mb.bin";

    // The payload is kept: reuse it when it reads complete.
    uint64_t archive = ReadBare(path);
    uint64_t content = 0;
    uint64_t files = 0;
    if (archive == 0 || ReadWithStreams(path, &files, &content) == 0) {
        std::printf("making %s (%" PRIu64 " MB inflated) ...\n", path.c_str(), megabytes);
        std::fflush(stdout);
        auto start = std::chrono::steady_clock::now();
        archive = MakePayload(path, megabytes * 1000000ull, &files);
        if (archive == 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("  made in %.1f s\n", Seconds(start));
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    long payload = 0;
    if (f != nullptr && std::fseek(f, 0, SEEK_END) == 0)
        payload = std::ftell(f);
    if (f != nullptr)
        std::fclose(f);

    // Best of the runs, by processor time and by the wall clock.
    double cpuStreams = 1e30, cpuBare = 1e30, wallStreams = 1e30, wallBare = 1e30;
    double cpuChecked = 1e30, wallChecked = 1e30;
    uint64_t bare = 0;
    for (int run = 0; run < runs; ++run) {
        // Rotate the order, so that no side always goes first.
        for (int side = 0; side < 3; ++side) {
            int now = (side + run) % 3; // 0 streams, 1 bare, 2 bare with the CRC
            bool streamsNow = now == 0;
            double cpu = CpuSeconds();
            auto start = std::chrono::steady_clock::now();
            if (now == 2) {
                uint32_t crc = 0;
                ReadBare(path, &crc);
                wallChecked = std::min(wallChecked, Seconds(start));
                cpuChecked = std::min(cpuChecked, CpuSeconds() - cpu);
            } else if (streamsNow) {
                if (ReadWithStreams(path, &files, &content) == 0) {
                    std::fprintf(stderr, "the payload reads as damaged\n");
                    return 1;
                }
                wallStreams = std::min(wallStreams, Seconds(start));
                cpuStreams = std::min(cpuStreams, CpuSeconds() - cpu);
            } else {
                bare = ReadBare(path);
                wallBare = std::min(wallBare, Seconds(start));
                cpuBare = std::min(cpuBare, CpuSeconds() - cpu);
            }
        }
    }
    if (bare != archive)
        std::printf("note: the bare loop inflated %" PRIu64 " bytes, the archive holds %" PRIu64 "\n", bare, archive);
    const double mb = static_cast<double>(bare) / 1e6;
    std::printf("payload %.1f MB compressed, %.1f MB inflated, %" PRIu64 " files with %.1f MB of content, best of %d runs\n",
                static_cast<double>(payload) / 1e6, mb, files, static_cast<double>(content) / 1e6, runs);
    std::printf("                              processor time         wall clock\n");
    std::printf("  bare inflate loop:          %7.3f s %7.1f MB/s   %7.3f s %7.1f MB/s\n", cpuBare, mb / cpuBare,
                wallBare, mb / wallBare);
    std::printf("  RCFile + RCDecompress read: %7.3f s %7.1f MB/s   %7.3f s %7.1f MB/s\n", cpuStreams,
                mb / cpuStreams, wallStreams, mb / wallStreams);
    std::printf("  ratio streams / bare:       %7.3f                  %7.3f   (target <= 1.10)\n",
                cpuStreams / cpuBare, wallStreams / wallBare);
    // The streams take the CRC-32 of every file for its check line; the
    // same bare loop with zlib's CRC-32 over its output, for comparison.
    std::printf("  bare loop + zlib crc32:     %7.3f s %7.1f MB/s   %7.3f s %7.1f MB/s\n", cpuChecked, mb / cpuChecked,
                wallChecked, mb / wallChecked);
    std::printf("  ratio streams / bare + CRC: %7.3f                  %7.3f\n", cpuStreams / cpuChecked,
                wallStreams / wallChecked);
    return 0;
}
