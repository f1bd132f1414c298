// Reading speed of a payload through RCFile + RCDecompress, reading records
// with the archive record loop as extraction does (output discarded), against a
// bare zlib inflate loop of the same configuration (8 KiB pieces in, 64 KiB
// out) over the same file in the same run. Two more lines show how far that
// configuration is from the machine's limit: bare zlib with large buffers,
// and, where the host has it, a whole-buffer decoder (libdeflate) on the
// whole stream in memory.
//
//   bench_streams [--size MB] [--runs N] [--file PATH]
//
// The payload (about 200 MB inflated by default: many small files and a few
// large ones; text-like, binary-like and incompressible content) is made
// deterministically and kept in PATH for later runs; by default beside the
// program, in the build tree (bench-payload-200mb.bin, never committed).
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
#include <unistd.h>
#endif

#if !defined(_WIN32) && !defined(QM_NO_LIBDEFLATE) && __has_include(<libdeflate.h>)
#include <libdeflate.h>
#include <vector>
#define QM_HAVE_LIBDEFLATE 1
#endif

#include "bench/BenchClock.h"
#include "bench/BenchContent.h"
#include "payload/ArchiveFormat.h"
#include "payload/ArchiveReader.h"
#include "payload/PayloadWriter.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "tests/shared/DiscardingSink.h"
#include "tests/shared/FileSink.h"

namespace {

constexpr int32_t kPiece = ArchiveFormat::kPieceSize;
constexpr int32_t kWindow = RCDecompress::kExtractionChunk;

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

// The launcher's way: 1 when the archive reads complete, 0 on damage; the
// files and content bytes seen go to *files and *content.
uint64_t ReadWithStreams(const std::string& path, uint64_t* files, uint64_t* content)
{
    RCFile reader;
    if (!reader.Open(path.c_str(), RCFile::kRead) || !reader.Seek(0))
        return 0;
    RCDecompress stage(kWindow);
    reader.SetInputTransform(&stage);
    DiscardingSink sink;
    bool complete = ArchiveReader::Read(reader, "C:\\bench", sink) == ArchiveReader::Result::Complete;
    reader.SetInputTransform(nullptr);
    *files = sink.files;
    *content = sink.contentBytes;
    return complete ? 1 : 0;
}

// A bare loop: raw pieces of inSize bytes, inflate with Z_SYNC_FLUSH into
// an outSize-byte window, output dropped; with `check`, zlib's CRC-32 taken
// over all of it into *check, the checking work that the launcher's check
// lines ask for (it takes the CRC of file content only). Returns the
// inflated bytes.
uint64_t ReadBare(const std::string& path, size_t inSize = kPiece, size_t outSize = kWindow,
                  uint32_t* check = nullptr)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        std::fclose(f);
        return 0;
    }
    // As the launcher does: the never-finished stream needs no Adler-32.
    inflateValidate(&zs, 0);
    std::unique_ptr<uint8_t[]> in(new uint8_t[inSize]);
    std::unique_ptr<uint8_t[]> out(new uint8_t[outSize]);
    uint64_t total = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    bool ok = true;
    size_t n;
    while (ok && (n = std::fread(in.get(), 1, inSize, f)) > 0) {
        zs.next_in = in.get();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = out.get();
            zs.avail_out = static_cast<uInt>(outSize);
            int rc = inflate(&zs, Z_SYNC_FLUSH);
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                ok = false;
            total += outSize - zs.avail_out;
            if (check != nullptr)
                crc = crc32(crc, out.get(), static_cast<uInt>(outSize - zs.avail_out));
        } while (ok && (zs.avail_in > 0 || zs.avail_out == 0));
    }
    inflateEnd(&zs);
    std::fclose(f);
    if (check != nullptr)
        *check = static_cast<uint32_t>(crc);
    return ok ? total : 0;
}

#ifdef QM_HAVE_LIBDEFLATE
// The whole stream at once, as a whole-buffer decoder takes it: the file in
// memory, its never-finished deflate data closed with an empty final block
// (the stream ends on a byte boundary after its sync flushes), decoded into
// a buffer of the known size. Only the decoding is timed: this is the
// decoder's own limit, without the file and without page faults.
class WholeBuffer {
public:
    bool Load(const std::string& path, uint64_t inflated)
    {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr)
            return false;
        uint8_t piece[1 << 16];
        size_t n;
        while ((n = std::fread(piece, 1, sizeof piece, f)) > 0)
            in_.insert(in_.end(), piece, piece + n);
        std::fclose(f);
        in_.push_back(0x03); // final block, fixed codes, end of block
        in_.push_back(0x00);
        out_.assign(inflated, 0);
        decoder_ = libdeflate_alloc_decompressor();
        return in_.size() > 4 && decoder_ != nullptr;
    }
    ~WholeBuffer()
    {
        if (decoder_ != nullptr)
            libdeflate_free_decompressor(decoder_);
    }
    // The inflated bytes; 0 when the stream does not decode.
    uint64_t Decode()
    {
        size_t got = 0;
        return libdeflate_deflate_decompress(decoder_, in_.data() + 2, in_.size() - 2, out_.data(), out_.size(),
                                             &got) == LIBDEFLATE_SUCCESS
                   ? got
                   : 0;
    }

private:
    std::vector<uint8_t> in_, out_;
    libdeflate_decompressor* decoder_ = nullptr;
};
#endif

// Best processor and wall-clock times of a way of reading over the runs.
struct Best {
    double cpu = 1e30;
    double wall = 1e30;
    template <typename Read>
    uint64_t Time(Read read)
    {
        double before = BenchClock::Cpu();
        auto start = std::chrono::steady_clock::now();
        uint64_t result = read();
        wall = std::min(wall, Seconds(start));
        cpu = std::min(cpu, BenchClock::Cpu() - before);
        return result;
    }
};

} // namespace

namespace {

// The folder of this program's file, with a separator at the end; empty
// when it cannot be had (the working folder is used then).
std::string ProgramFolder()
{
    char path[4096] = "";
#ifdef _WIN32
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return std::string();
#else
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    path[n] = '\0';
#endif
    std::string text = path;
    size_t slash = text.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
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
        path = ProgramFolder() + "bench-payload-" + std::to_string(megabytes) + "mb.bin";

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
    Best streams, same, checked, large;
    uint64_t bare = 0, bareLarge = 0;
#ifdef QM_HAVE_LIBDEFLATE
    Best whole;
    uint64_t wholeBytes = 0;
    WholeBuffer wholeBuffer;
    bool loaded = wholeBuffer.Load(path, archive);
#endif
    for (int run = 0; run < runs; ++run) {
        // Rotate the order, so that no side always goes first.
        for (int side = 0; side < 3; ++side) {
            int now = (side + run) % 3; // 0 streams, 1 bare, 2 bare with the CRC
            if (now == 2) {
                uint32_t crc = 0;
                checked.Time([&] { return ReadBare(path, kPiece, kWindow, &crc); });
            } else if (now == 0) {
                if (streams.Time([&] { return ReadWithStreams(path, &files, &content); }) == 0) {
                    std::fprintf(stderr, "the payload reads as damaged\n");
                    return 1;
                }
            } else {
                bare = same.Time([&] { return ReadBare(path); });
            }
        }
        // For information: the same inflate with large buffers, and a
        // whole-buffer decoder.
        bareLarge = large.Time([&] { return ReadBare(path, 1 << 20, 1 << 20); });
#ifdef QM_HAVE_LIBDEFLATE
        if (loaded)
            wholeBytes = whole.Time([&] { return wholeBuffer.Decode(); });
#endif
    }
    if (bare != archive)
        std::printf("note: the bare loop inflated %" PRIu64 " bytes, the archive holds %" PRIu64 "\n", bare, archive);
    if (bareLarge != archive)
        std::printf("note: the large-buffer loop inflated %" PRIu64 " bytes\n", bareLarge);
    const double mb = static_cast<double>(bare) / 1e6;
    std::printf("payload %.1f MB compressed, %.1f MB inflated, %" PRIu64 " files with %.1f MB of content, best of %d runs\n",
                static_cast<double>(payload) / 1e6, mb, files, static_cast<double>(content) / 1e6, runs);
    std::printf("                                         processor time         wall clock\n");
    auto line = [mb](const char* label, const Best& b) {
        std::printf("  %-38s %7.3f s %7.1f MB/s   %7.3f s %7.1f MB/s\n", label, b.cpu, mb / b.cpu, b.wall, mb / b.wall);
    };
    line("bare zlib, same configuration (8K/8K):", same);
    line("RCFile + RCDecompress read:", streams);
    std::printf("  ratio streams / same configuration:    %7.3f                  %7.3f   (target <= 1.10)\n",
                streams.cpu / same.cpu, streams.wall / same.wall);
    // The streams take the CRC-32 of every file for its check line; the
    // same bare loop with zlib's CRC-32 over its output, for comparison.
    line("same configuration + zlib crc32:", checked);
    std::printf("  ratio streams / same + CRC:            %7.3f                  %7.3f\n",
                streams.cpu / checked.cpu, streams.wall / checked.wall);
    std::printf("for information, how far from the machine's limit:\n");
    line("bare zlib, 1 MiB in and out:", large);
#ifdef QM_HAVE_LIBDEFLATE
    if (wholeBytes == archive)
        line("libdeflate, whole buffer (decode only):", whole);
    else
        std::printf("  libdeflate, whole buffer: could not decode the stream\n");
#else
    std::printf("  (no whole-buffer decoder in this build)\n");
#endif
    return 0;
}
