// Extraction speed and memory: ExtractPayload on a payload of about 200 MB
// (2,000 files in nested folders, mixed compressibility, deterministic)
// against a baseline that makes the same tree the cheapest way: the same
// stream inflated with bare zlib, the same files written with plain stdio,
// one CreateDirectoryA a folder, and the same times and attributes given
// once with plain Windows calls (a folder's when it is closed, attributes
// only where they differ from what a new file or folder has). The two run
// in interleaved pairs; the median and spread of the pairs' ratios are
// printed beside the best times. Each extraction runs in a child process
// of its own, so that its peak memory (working set and pagefile use) is its
// own; an empty payload and a second, larger one show whether the peak
// grows with the payload.
//
//   bench_extract [--size MB] [--big MB] [--runs N] [--folder C:\qmbench] [--keep]
//
// Everything lives in the folder (on the C: drive of the Wine prefix);
// the work trees are removed after each run, the payloads at the end
// unless --keep is given (a kept payload is used again).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <zlib.h>

#include "bench/BenchClock.h"
#include "bench/BenchContent.h"
#include "launcher/Extract.h"
#include "launcher/UserInterface.h"
#include "launcher/WorkFolder.h"
#include "payload/PayloadWriter.h"
#include "support/RCDirectory.h"
#include "support/RCPath.h"
#include "tests/shared/FileSink.h"
#include "tests/shared/TestFolder.h"
#include "tests/shared/TestArchive.h"
#include "tests/win/WineHelpers.h"

using testkit::Record;
using testwin::Exists;
using testwin::OwnFile;

namespace {

// Bytes of "stub" in front of the payload.
constexpr size_t kStubSize = 65536;

// ---------------------------------------------------------------------------
// The payload

// Ten files per MB, twenty to a folder, five folders to a package: sizes
// drawn from a spread of small to large files, scaled to the total.
bool MakeCombined(const std::string& path, uint64_t megabytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = true;
    {
        BenchContent stub(1);
        std::string bytes = "MZ" + stub.Content(kStubSize - 2);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    BenchContent r(2025);
    const uint64_t files = megabytes * 10;
    std::vector<uint64_t> sizes(files);
    uint64_t drawn = 0;
    for (uint64_t& size : sizes) {
        uint32_t pick = r.Below(100);
        size = pick < 60 ? 1024 + r.Below(31 * 1024)
               : pick < 90 ? 32 * 1024 + r.Below(224 * 1024)
               : pick < 99 ? 256 * 1024 + r.Below(768 * 1024)
                           : 1024 * 1024 + r.Below(7 * 1024 * 1024);
        drawn += size;
    }
    const uint64_t target = megabytes * 1000000ull;
    for (uint64_t& size : sizes)
        size = size * target / drawn;

    FileSink sink(f);
    PayloadWriter w(sink);
    char name[64];
    for (uint64_t i = 0; i < files && ok; ++i) {
        if (i % 100 == 0) {
            std::snprintf(name, sizeof name, "package%03" PRIu64, i / 100);
            w.Folder(name, Record(0x10));
        }
        if (i % 20 == 0) {
            std::snprintf(name, sizeof name, "part%" PRIu64, (i / 20) % 5);
            w.Folder(name, Record(0x10));
        }
        std::snprintf(name, sizeof name, "file%05" PRIu64 ".%s", i, i % 3 == 0 ? "txt" : "dat");
        w.FileBegin(name, static_cast<int64_t>(sizes[i]));
        // Large files change kind every 64 KiB, as programs and archives do.
        for (uint64_t done = 0; done < sizes[i];) {
            size_t piece = static_cast<size_t>(sizes[i] - done < 65536 ? sizes[i] - done : 65536);
            std::string bytes = r.Content(piece);
            w.FileContent(bytes.data(), bytes.size());
            done += piece;
        }
        w.FileEnd(Record(0x20));
        if (i % 20 == 19 || i + 1 == files)
            w.Up();
        if (i % 100 == 99 || i + 1 == files)
            w.Up();
        ok = !w.Failed();
    }
    w.Up();
    ok = !w.Failed() && ok;
    return std::fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------------------
// The baseline: bare zlib, plain stdio, plain Windows calls

// Inflated bytes of a payload, read in large pieces.
class BareInflater {
public:
    bool Open(const std::string& path, long offset)
    {
        f_ = std::fopen(path.c_str(), "rb");
        return f_ != nullptr && std::fseek(f_, offset, SEEK_SET) == 0 && inflateInit(&zs_) == Z_OK && (init_ = true);
    }
    ~BareInflater()
    {
        if (init_)
            inflateEnd(&zs_);
        if (f_ != nullptr)
            std::fclose(f_);
    }

    // Makes at least one byte available; false at the end of the data.
    bool Fill()
    {
        while (pos_ == end_) {
            if (zs_.avail_in == 0) {
                size_t n = std::fread(in_, 1, sizeof in_, f_);
                if (n == 0)
                    return false;
                zs_.next_in = in_;
                zs_.avail_in = static_cast<uInt>(n);
            }
            zs_.next_out = out_;
            zs_.avail_out = sizeof out_;
            int rc = inflate(&zs_, Z_SYNC_FLUSH);
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                return false;
            pos_ = 0;
            end_ = sizeof out_ - zs_.avail_out;
        }
        return true;
    }

    bool Line(std::string& line)
    {
        line.clear();
        for (;;) {
            if (!Fill())
                return false;
            char c = static_cast<char>(out_[pos_++]);
            if (c == '\n')
                return true;
            if (c != '\r')
                line += c;
        }
    }

    // Hands out up to n bytes in place.
    size_t Take(const uint8_t** data, size_t n)
    {
        if (!Fill())
            return 0;
        size_t got = end_ - pos_ < n ? end_ - pos_ : n;
        *data = out_ + pos_;
        pos_ += got;
        return got;
    }

    bool Exactly(uint8_t* buffer, size_t n)
    {
        while (n > 0) {
            const uint8_t* data = nullptr;
            size_t got = Take(&data, n);
            if (got == 0)
                return false;
            std::memcpy(buffer, data, got);
            buffer += got;
            n -= got;
        }
        return true;
    }

private:
    std::FILE* f_ = nullptr;
    z_stream zs_{};
    bool init_ = false;
    uint8_t in_[65536];
    uint8_t out_[262144];
    size_t pos_ = 0;
    size_t end_ = 0;
};

// Times, then the attributes where they differ from those of a new entry.
bool ApplyPlain(const std::string& path, const FileAttributeRecord& r, bool folder)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME times[3];
    const uint64_t values[3] = {r.creationTime, r.lastAccessTime, r.lastWriteTime};
    for (int i = 0; i < 3; ++i) {
        times[i].dwLowDateTime = static_cast<DWORD>(values[i]);
        times[i].dwHighDateTime = static_cast<DWORD>(values[i] >> 32);
    }
    bool ok = SetFileTime(h, &times[0], &times[1], &times[2]) != 0;
    CloseHandle(h);
    const uint32_t fresh = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    return ok && (r.attributes == fresh || SetFileAttributesA(path.c_str(), r.attributes) != 0);
}

bool Baseline(const std::string& combined, const std::string& work)
{
    BareInflater in;
    if (!in.Open(combined, static_cast<long>(kStubSize)) || !CreateDirectoryA(work.c_str(), nullptr))
        return false;
    std::string folder = work;
    std::string tag, name, size;
    uint8_t record[FileAttributeRecord::kSize];
    // The records of the open folders, applied when each is closed: its
    // times then stay as the archive has them.
    std::vector<FileAttributeRecord> open;
    for (;;) {
        if (!in.Line(tag))
            return false;
        if (tag == "U") {
            if (open.empty())
                return true;
            if (!ApplyPlain(folder, open.back(), true))
                return false;
            open.pop_back();
            folder.resize(folder.rfind('\\'));
        } else if (tag == "D") {
            if (!in.Line(name) || !in.Exactly(record, sizeof record))
                return false;
            folder += "\\" + name;
            open.push_back(FileAttributeRecord::Decode(record));
            if (!CreateDirectoryA(folder.c_str(), nullptr))
                return false;
        } else if (tag == "F") {
            if (!in.Line(name) || !in.Line(size))
                return false;
            std::string path = folder + "\\" + name;
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (f == nullptr)
                return false;
            long left = std::atol(size.c_str());
            while (left > 0) {
                const uint8_t* data = nullptr;
                size_t got = in.Take(&data, static_cast<size_t>(left));
                if (got == 0 || std::fwrite(data, 1, got, f) != got) {
                    std::fclose(f);
                    return false;
                }
                left -= static_cast<long>(got);
            }
            if (std::fclose(f) != 0 || !in.Exactly(record, sizeof record) ||
                !ApplyPlain(path, FileAttributeRecord::Decode(record), false))
                return false;
        }
    }
}

// ---------------------------------------------------------------------------
// The child: one extraction, measured

class QuietUi : public UserInterface {
public:
    void ProcessMessages() override {}
    void ShowMessage(HWND, const char* text, const char*, uint32_t) override { shown = text; }
    HWND ProgressWindow() const override { return nullptr; }
    void HideWindows() override {}
    void SetExitStatus(uint32_t) override {}
    std::string shown;
};

// Writes "ok wall cpu peakWorkingSet peakPagefile" to result.
int Child(const std::string& mode, const std::string& combined, const std::string& work, const std::string& result)
{
    double cpu = BenchClock::Cpu();
    double start = BenchClock::Wall();
    bool ok;
    std::string why;
    if (mode == "extract") {
        QuietUi ui;
        ok = ExtractPayload(ui, combined.c_str(), static_cast<int32_t>(kStubSize), work.c_str());
        why = ui.shown;
    } else {
        ok = Baseline(combined, work);
    }
    double wall = BenchClock::Wall() - start;
    cpu = BenchClock::Cpu() - cpu;
    if (!ok && !why.empty())
        std::fprintf(stderr, "bench_extract: %s: %s\n", mode.c_str(), why.c_str()); // Shift-JIS, as shown
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::FILE* f = std::fopen(result.c_str(), "w");
    if (f == nullptr)
        return 1;
    std::fprintf(f, "%d %.6f %.6f %" PRIu64 " %" PRIu64 "\n", ok ? 1 : 0, wall, cpu,
                 static_cast<uint64_t>(memory.PeakWorkingSetSize), static_cast<uint64_t>(memory.PeakPagefileUsage));
    std::fclose(f);
    return ok ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The driver

struct Measure {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    uint64_t peakWorkingSet = 0;
    uint64_t peakPagefile = 0;
};

void RemoveTree(const std::string& folder)
{
    if (Exists(folder)) {
        RCDirectory directory;
        directory.RemoveTree(folder.c_str(), false, false);
    }
}

// Files and content bytes of a tree, to see that both ways made the same.
void Count(const std::string& folder, uint64_t* files, uint64_t* bytes)
{
    testwin::ForEachEntry(folder, [&](const WIN32_FIND_DATAA& data) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Count(folder + "\\" + data.cFileName, files, bytes);
        } else {
            ++*files;
            *bytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    });
}

Measure RunChild(const std::string& mode, const std::string& combined, const std::string& work,
                 const std::string& folder, uint64_t* files, uint64_t* bytes)
{
    Measure m;
    RemoveTree(work);
    std::string result = folder + "\\result.txt";
    DeleteFileA(result.c_str());
    std::string exe = OwnFile();
    std::string commandLine =
        "\"" + exe + "\" --child " + mode + " \"" + combined + "\" \"" + work + "\" \"" + result + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return m;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    std::FILE* f = std::fopen(result.c_str(), "r");
    if (f != nullptr) {
        int ok = 0;
        if (std::fscanf(f, "%d %lf %lf %" SCNu64 " %" SCNu64, &ok, &m.wall, &m.cpu, &m.peakWorkingSet,
                        &m.peakPagefile) == 5)
            m.ok = ok == 1;
        std::fclose(f);
    }
    DeleteFileA(result.c_str());
    *files = *bytes = 0;
    Count(work, files, bytes);
    RemoveTree(work);
    return m;
}

struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread SpreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    Spread s;
    size_t n = values.size();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.low = values.front();
    s.high = values.back();
    return s;
}

double Mb(uint64_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Makes the combined file unless a kept one is there.
bool Prepare(const std::string& combined, uint64_t megabytes)
{
    if (FileSize(combined) > kStubSize)
        return true;
    std::printf("making a payload of %" PRIu64 " MB ...", megabytes);
    std::fflush(stdout);
    double start = BenchClock::Wall();
    bool ok = MakeCombined(combined, megabytes);
    std::printf(ok ? " %.0f s\n" : " failed\n", BenchClock::Wall() - start);
    if (!ok)
        DeleteFileA(combined.c_str());
    return ok;
}

int Driver(uint64_t size, uint64_t big, int runs, const std::string& folder, bool keep)
{
    if (folder.size() < 3 || folder[1] != ':') {
        std::fprintf(stderr, "bench_extract: --folder must be a full path on a drive\n");
        return 2;
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    // The launcher's own shape, with the folder as the application-data
    // folder: extraction makes and holds Orvane, Lumavex and Quillimark
    // above its work folder. They are made here, as after a first run, and
    // the baseline writes to the same place.
    RCPath workPath;
    SetToWorkFolder(workPath, folder.c_str());
    const std::string work = workPath.Text();
    if (!TestFolder::MakeFolders(work.substr(0, work.find_last_of('\\')))) {
        std::fprintf(stderr, "bench_extract: cannot make the folders above %s\n", work.c_str());
        return 1;
    }
    std::vector<std::string> made;
    int status = 0;

    std::string combined = folder + "\\payload-" + std::to_string(size) + "mb.bin";
    if (!Prepare(combined, size))
        return 1;
    made.push_back(combined);

    // Interleaved pairs, the two ways taking turns at going first; the best
    // of each way, and each pair's ratio.
    Measure best[2];
    uint64_t files[2] = {}, bytes[2] = {};
    const char* modes[2] = {"baseline", "extract"};
    std::vector<double> wallRatios, cpuRatios;
    for (int run = 0; run < runs; ++run) {
        Measure pair[2];
        for (int turn = 0; turn < 2; ++turn) {
            int side = (turn + run) % 2;
            Measure m = RunChild(modes[side], combined, work, folder, &files[side], &bytes[side]);
            if (!m.ok) {
                std::fprintf(stderr, "bench_extract: %s failed\n", modes[side]);
                status = 1;
            }
            pair[side] = m;
            if (run == 0 || m.wall < best[side].wall)
                best[side].wall = m.wall;
            if (run == 0 || m.cpu < best[side].cpu)
                best[side].cpu = m.cpu;
            if (m.peakWorkingSet > best[side].peakWorkingSet)
                best[side].peakWorkingSet = m.peakWorkingSet;
            if (m.peakPagefile > best[side].peakPagefile)
                best[side].peakPagefile = m.peakPagefile;
        }
        // A failed run has no figures worth a ratio.
        if (pair[0].ok && pair[1].ok && pair[0].wall > 0 && pair[0].cpu > 0) {
            wallRatios.push_back(pair[1].wall / pair[0].wall);
            cpuRatios.push_back(pair[1].cpu / pair[0].cpu);
        }
    }
    if (files[0] != files[1] || bytes[0] != bytes[1]) {
        std::fprintf(stderr, "bench_extract: the trees differ: %" PRIu64 " files / %" PRIu64 " bytes against %" PRIu64
                     " / %" PRIu64 "\n", files[0], bytes[0], files[1], bytes[1]);
        status = 1;
    }
    const double inflated = static_cast<double>(bytes[1]) / 1e6;
    std::printf("payload: %.1f MB compressed, %" PRIu64 " files, %.1f MB inflated; %d interleaved pairs\n",
                static_cast<double>(FileSize(combined) - kStubSize) / 1e6, files[1], inflated, runs);
    std::printf("                              wall clock (best)      processor time   peak working set  peak pagefile\n");
    for (int side = 0; side < 2; ++side) {
        std::printf("  %-26s %7.2f s %6.1f MB/s   %7.2f s          %8.1f MB       %8.1f MB\n",
                    side == 0 ? "baseline (same tree):" : "ExtractPayload:", best[side].wall,
                    inflated / best[side].wall, best[side].cpu, Mb(best[side].peakWorkingSet),
                    Mb(best[side].peakPagefile));
    }
    if (!wallRatios.empty()) {
        Spread wall = SpreadOf(wallRatios), cpu = SpreadOf(cpuRatios);
        std::printf("  ratio ExtractPayload / baseline, median of the pairs (lowest .. highest):\n");
        std::printf("    wall clock     %.3f (%.3f .. %.3f)   target <= 1.05\n", wall.median, wall.low, wall.high);
        std::printf("    processor time %.3f (%.3f .. %.3f)   target <= 1.10\n", cpu.median, cpu.low, cpu.high);
    }

    // Peak memory against the payload's size: an empty payload (the
    // closing record alone), the one above, and a larger one.
    std::string empty = folder + "\\payload-0mb.bin";
    if (Prepare(empty, 0)) {
        made.push_back(empty);
        uint64_t n = 0, b = 0;
        Measure m = RunChild("extract", empty, work, folder, &n, &b);
        if (!m.ok)
            status = 1;
        std::printf("peak memory of ExtractPayload: %.1f MB working set, %.1f MB pagefile for an empty payload; "
                    "%.1f MB and %.1f MB for %.0f MB\n",
                    Mb(m.peakWorkingSet), Mb(m.peakPagefile), Mb(best[1].peakWorkingSet), Mb(best[1].peakPagefile),
                    inflated);
    } else {
        status = 1;
    }
    if (big > 0) {
        std::string large = folder + "\\payload-" + std::to_string(big) + "mb.bin";
        if (Prepare(large, big)) {
            made.push_back(large);
            uint64_t n = 0, b = 0;
            Measure m = RunChild("extract", large, work, folder, &n, &b);
            if (!m.ok)
                status = 1;
            std::printf("peak memory of ExtractPayload: %.1f MB working set, %.1f MB pagefile for %.0f MB "
                        "(%.1f s, %" PRIu64 " files)\n",
                        Mb(m.peakWorkingSet), Mb(m.peakPagefile), static_cast<double>(b) / 1e6, m.wall, n);
        } else {
            status = 1;
        }
    }
    if (!keep) {
        for (const std::string& file : made)
            DeleteFileA(file.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0)
        return Child(argv[2], argv[3], argv[4], argv[5]);
    uint64_t size = 200, big = 1000;
    int runs = 3;
    std::string folder = "C:\\qmbench";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        bool value = i + 1 < argc;
        if (std::strcmp(argv[i], "--size") == 0 && value)
            size = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--big") == 0 && value)
            big = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--runs") == 0 && value)
            runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--folder") == 0 && value)
            folder = argv[++i];
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else
            size = 0;
    }
    if (size == 0 || runs <= 0) {
        std::fprintf(stderr, "usage: bench_extract [--size MB] [--big MB (0: none)] [--runs N] [--folder PATH] [--keep]\n");
        return 2;
    }
    return Driver(size, big, runs, folder, keep);
}
