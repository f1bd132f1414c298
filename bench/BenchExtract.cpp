// The launcher against the plainest fast program that does the same work
// (bench_plain: bench/PlainExtractor.h, bench/PlainRemoval.h), for two
// payload shapes, 200 MB in 8 files and 4,000 files of 1 to 24 KB in 40
// folders:
//
// - extraction: ExtractPayload, as the launcher calls it (work folder
//   prepared, messages handled between records), against PlainExtractor;
//   wall clock and processor time;
// - clean-up: the launcher's removal of the work folder (the one call in
//   bench/LauncherCleanUp.h) against PlainRemoveTree, on the tree just made;
// - start-up: from the start of the real stub as a process, with a payload
//   of a small file and an installer, to its first file written (that
//   file's last-write time, which the installer, bench_plain, reads out
//   before the launcher removes it), against bench_plain started on the
//   same payload.
//
// Each run is a child process of its own, the two sides in interleaved
// pairs that take turns at going first; the table gives each side's median
// and the median, lowest and highest of the pairs' ratios (of their
// difference for the start-up). The launcher's peak memory (working set
// and pagefile use, GetProcessMemoryInfo) is given for an empty payload,
// both shapes and a large payload, to show that it stays flat.
//
//   bench_extract [--runs N] [--big MB] [--folder C:\qmbench] [--payloads DIR] [--keep]
//
// The trees are made and removed in the folder, on the C: drive of the
// Wine prefix. The payloads are made in DIR (the folder unless given) when
// they are not there yet, and removed at the end unless --keep is given.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchContent.h"
#include "bench/BenchPayload.h"
#include "bench/BenchRun.h"
#include "bench/LauncherCleanUp.h"
#include "launcher/Application.h"
#include "launcher/Extract.h"
#include "launcher/UserInterface.h"
#include "launcher/WorkFolder.h"
#include "support/RCPath.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"
#include "tools/StubImage.h"

using testwin::Exists;

namespace {

// Bytes in front of the shapes' payloads, standing in for a stub.
constexpr size_t kFront = 65536;
// The installer's name in the start-up payload.
constexpr const char* kInstallerName = "bench_plain.exe";
// A run that takes longer than this has hung.
constexpr DWORD kRunLimit = 600000;

// ---------------------------------------------------------------------------
// The launcher's side of a run, in a child process

// The launcher's application object handles the messages between
// records, as in the stub; messages are only written down.
class QuietUi : public UserInterface {
public:
    QuietUi() : application_(GetModuleHandleA(nullptr)) { application_.Initialize(); }
    void ProcessMessages() override { application_.ProcessMessages(); }
    void ShowMessage(HWND, const char* text, const char*, uint32_t) override { shown = text; }
    HWND ProgressWindow() const override { return nullptr; }
    void HideWindows() override {}
    void SetExitStatus(uint32_t) override {}
    std::string shown;

private:
    Application application_;
};

int LauncherChild(const std::string& combined, int32_t offset, const std::string& work, const std::string& result)
{
    QuietUi ui;
    BenchRun run = BenchRun::Measure([&] { return ExtractPayload(ui, combined.c_str(), offset, work.c_str()); },
                                     [&] { return LauncherCleanUp(work.c_str()); }, BenchWide(work));
    if (!ui.shown.empty())
        std::fprintf(stderr, "bench_extract: the launcher said: %s\n", ui.shown.c_str()); // Shift-JIS
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
        run.peakWorkingSet = memory.PeakWorkingSetSize;
        run.peakPagefile = memory.PeakPagefileUsage;
    }
    return run.Write(result) && run.ok ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The driver

// Starts commandLine and waits for it; its exit code, or -1.
int64_t RunProcess(std::string commandLine)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process.hProcess, kRunLimit) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    const bool got = ended && GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return got ? static_cast<int64_t>(code) : -1;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

uint64_t LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

uint64_t SystemTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

double Mb(uint64_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread SpreadOf(std::vector<double> values)
{
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.low = values.front();
    s.high = values.back();
    return s;
}

// One figure of both sides over the pairs.
struct Phase {
    std::vector<double> launcher;
    std::vector<double> baseline;
    std::vector<double> compared; // per pair: launcher / baseline, or launcher - baseline

    void Add(double l, double b, bool difference)
    {
        launcher.push_back(l);
        baseline.push_back(b);
        // Processor times count in ticks of 10 or 16 ms: a time below one
        // tick gives no ratio.
        if (difference || b > 0)
            compared.push_back(difference ? l - b : l / b);
    }

    // target: the highest ratio (or difference) aimed at; 0 for none.
    void Print(const char* name, const char* unit, bool difference, double target) const
    {
        if (launcher.empty()) {
            std::printf("  %-24s no pair succeeded\n", name);
            return;
        }
        std::printf("  %-24s %8.3f %s %8.3f %s   ", name, SpreadOf(launcher).median, unit, SpreadOf(baseline).median,
                    unit);
        const Spread c = SpreadOf(compared);
        if (compared.empty())
            std::printf("   -  (below the clock's tick)");
        else if (difference)
            std::printf("%+.3f (%+.3f .. %+.3f)", c.median, c.low, c.high);
        else
            std::printf(" %.3f (%.3f .. %.3f)", c.median, c.low, c.high);
        if (target > 0)
            std::printf("   target <= %s%.2f", difference ? "+" : "", target);
        std::printf("\n");
    }
};

struct Options {
    int runs = 5;
    uint64_t big = 1000;
    std::string folder = "C:\\qmbench";
    std::string payloads;
    bool keep = false;
};

class Driver {
public:
    explicit Driver(const Options& options) : options_(options) {}
    int Run();

private:
    bool Prepare(const std::string& path, BenchPayload::Shape shape, uint64_t megabytes);
    bool MakeSetup();
    BenchRun Child(bool launcher, const std::string& combined, uint64_t offset);
    void Shape(const char* title, const std::string& combined);
    bool StartUpOnce(bool launcher, double* seconds);
    void StartUp();
    void Memory(const char* title, const std::string& combined);

    const Options& options_;
    std::string work_;   // the launcher's shape: <folder>\Orvane\Lumavex\Quillimark\<id>
    std::string plain_;  // bench_plain.exe
    std::string setup_;  // the start-up installer: the real stub with its payload
    uint64_t setupOffset_ = 0;
    std::vector<std::string> made_;
    int status_ = 0;
};

bool Driver::Prepare(const std::string& path, BenchPayload::Shape shape, uint64_t megabytes)
{
    made_.push_back(path);
    if (FileSize(path) > kFront)
        return true;
    std::printf("making %s ...", path.c_str());
    std::fflush(stdout);
    const double start = BenchClock::Wall();
    BenchContent filler(1);
    const bool ok = BenchPayload::Make(path, "MZ" + filler.Content(kFront - 2), shape, megabytes);
    std::printf(ok ? " %.0f s\n" : " failed\n", BenchClock::Wall() - start);
    return ok;
}

bool Driver::MakeSetup()
{
    StubImage stub;
    std::string error;
    std::string installer;
    if (!stub.Load(testwin::ThroughZ(QM_STUB), error) || !stub.Patch(kInstallerName, error) ||
        !TestFolder::ReadFile(plain_, &installer)) {
        std::fprintf(stderr, "bench_extract: %s\n", error.empty() ? "cannot read bench_plain.exe" : error.c_str());
        return false;
    }
    setup_ = options_.folder + "\\setup.exe";
    setupOffset_ = stub.PayloadOffset();
    made_.push_back(setup_);
    const std::string front(stub.Bytes().begin(), stub.Bytes().end());
    return BenchPayload::MakeStartUp(setup_, front, installer, kInstallerName);
}

BenchRun Driver::Child(bool launcher, const std::string& combined, uint64_t offset)
{
    BenchRun run;
    TestFolder::RemoveAll(work_);
    const std::string result = options_.folder + "\\result.txt";
    DeleteFileA(result.c_str());
    const std::string arguments =
        Quoted(combined) + " " + std::to_string(offset) + " " + Quoted(work_) + " " + Quoted(result);
    const std::string commandLine = launcher ? Quoted(testwin::OwnFile()) + " --child " + arguments
                                             : Quoted(plain_) + " measure " + arguments;
    const int64_t code = RunProcess(commandLine);
    if (!run.Read(result) || code != 0 || !run.ok) {
        std::fprintf(stderr, "bench_extract: %s failed on %s (exit code %" PRId64 ")\n",
                     launcher ? "the launcher" : "the baseline", combined.c_str(), code);
        run.ok = false;
        status_ = 1;
    }
    DeleteFileA(result.c_str());
    TestFolder::RemoveAll(work_);
    return run;
}

void Driver::Shape(const char* title, const std::string& combined)
{
    Phase extractWall, extractCpu, cleanUpWall, cleanUpCpu;
    BenchRun last[2];
    uint64_t peakWorkingSet = 0, peakPagefile = 0;
    for (int run = 0; run < options_.runs; ++run) {
        BenchRun pair[2]; // [0] the launcher, [1] the baseline
        for (int turn = 0; turn < 2; ++turn) {
            const int side = (turn + run) % 2;
            pair[side] = Child(side == 0, combined, kFront);
        }
        if (!pair[0].ok || !pair[1].ok)
            continue; // a failed run has no figures worth a ratio
        if (pair[0].files != pair[1].files || pair[0].bytes != pair[1].bytes) {
            std::fprintf(stderr, "bench_extract: the trees differ: %" PRIu64 " files / %" PRIu64 " bytes against %" PRIu64
                         " / %" PRIu64 "\n", pair[0].files, pair[0].bytes, pair[1].files, pair[1].bytes);
            status_ = 1;
        }
        extractWall.Add(pair[0].extractWall, pair[1].extractWall, false);
        extractCpu.Add(pair[0].extractCpu, pair[1].extractCpu, false);
        cleanUpWall.Add(pair[0].cleanUpWall, pair[1].cleanUpWall, false);
        cleanUpCpu.Add(pair[0].cleanUpCpu, pair[1].cleanUpCpu, false);
        peakWorkingSet = std::max<uint64_t>(peakWorkingSet, pair[0].peakWorkingSet);
        peakPagefile = std::max<uint64_t>(peakPagefile, pair[0].peakPagefile);
        last[0] = pair[0];
    }
    std::printf("\n%s: payload %.1f MB, %" PRIu64 " files, %.1f MB inflated; %d interleaved pairs\n", title,
                static_cast<double>(FileSize(combined) - kFront) / 1e6, last[0].files,
                static_cast<double>(last[0].bytes) / 1e6, options_.runs);
    std::printf("  %-24s %10s %10s   %s\n", "median of the pairs", "launcher", "baseline",
                "launcher / baseline: median (lowest .. highest)");
    extractWall.Print("extraction, wall clock", "s", false, 1.05);
    extractCpu.Print("extraction, processor", "s", false, 1.05);
    cleanUpWall.Print("clean-up, wall clock", "s", false, 1.5);
    cleanUpCpu.Print("clean-up, processor", "s", false, 0);
    std::printf("  peak memory of the launcher: %.1f MB working set, %.1f MB pagefile\n", Mb(peakWorkingSet),
                Mb(peakPagefile));
}

bool Driver::StartUpOnce(bool launcher, double* seconds)
{
    const std::string plainWork = options_.folder + "\\plain-start";
    const std::string first = options_.folder + "\\first-file.txt";
    TestFolder::RemoveAll(plainWork);
    DeleteFileA(first.c_str());
    // The launcher's installer reads the first file's time out before the
    // launcher removes its work folder.
    SetEnvironmentVariableA("QM_BENCH_FIRST_FILE", first.c_str());
    const std::string commandLine =
        launcher ? Quoted(setup_)
                 : Quoted(plain_) + " extract " + Quoted(setup_) + " " + std::to_string(setupOffset_) + " " +
                       Quoted(plainWork);
    const uint64_t start = SystemTimeNow();
    const int64_t code = RunProcess(commandLine);
    uint64_t written = 0;
    if (launcher) {
        std::FILE* f = std::fopen(first.c_str(), "r");
        if (f != nullptr) {
            if (std::fscanf(f, "%" SCNu64, &written) != 1)
                written = 0;
            std::fclose(f);
        }
    } else {
        written = LastWriteTime(plainWork + "\\" + BenchPayload::kFirstFile);
    }
    TestFolder::RemoveAll(plainWork);
    DeleteFileA(first.c_str());
    if (code != 0 || written < start) {
        std::fprintf(stderr, "bench_extract: the start-up run of %s failed (exit code %" PRId64 ")\n",
                     launcher ? "the launcher" : "the baseline", code);
        status_ = 1;
        return false;
    }
    *seconds = static_cast<double>(written - start) * 1e-7;
    return true;
}

void Driver::StartUp()
{
    Phase startUp;
    for (int run = 0; run < options_.runs; ++run) {
        double seconds[2] = {};
        bool ok = true;
        for (int turn = 0; turn < 2; ++turn) {
            const int side = (turn + run) % 2;
            ok = StartUpOnce(side == 0, &seconds[side]) && ok;
        }
        if (ok)
            startUp.Add(seconds[0], seconds[1], true);
    }
    std::printf("\nstart to first file written: the stub as a process (a 1 KB file, then its installer) against "
                "bench_plain on the same payload; %d interleaved pairs\n", options_.runs);
    std::printf("  %-24s %10s %10s   %s\n", "median of the pairs", "launcher", "baseline",
                "launcher - baseline: median (lowest .. highest)");
    startUp.Print("start to first file", "s", true, 0.05);
}

void Driver::Memory(const char* title, const std::string& combined)
{
    const BenchRun run = Child(true, combined, kFront);
    if (run.ok)
        std::printf("  %-40s %8.1f MB working set %8.1f MB pagefile   (%" PRIu64 " files, %.1f MB, %.2f s)\n", title,
                    Mb(run.peakWorkingSet), Mb(run.peakPagefile), run.files, static_cast<double>(run.bytes) / 1e6,
                    run.extractWall);
}

int Driver::Run()
{
    if (options_.folder.size() < 3 || options_.folder[1] != ':') {
        std::fprintf(stderr, "bench_extract: --folder must be a full path on a drive\n");
        return 2;
    }
    CreateDirectoryA(options_.folder.c_str(), nullptr);
    const std::string payloads = options_.payloads.empty() ? options_.folder : options_.payloads;
    CreateDirectoryA(payloads.c_str(), nullptr);
    plain_ = testwin::OwnFolder() + "\\bench_plain.exe";
    // The launcher's own shape, with the folder as the application-data
    // folder: extraction makes and holds Orvane, Lumavex and Quillimark
    // above its work folder. They are made here, as after a first run, and
    // the baseline writes to the same place.
    RCPath workPath;
    SetToWorkFolder(workPath, options_.folder.c_str());
    work_ = workPath.Text();
    if (!TestFolder::MakeFolders(work_.substr(0, work_.find_last_of('\\')))) {
        std::fprintf(stderr, "bench_extract: cannot make the folders above %s\n", work_.c_str());
        return 1;
    }

    const std::string large = payloads + "\\large-200mb.bin";
    const std::string many = payloads + "\\many-4000.bin";
    const std::string empty = payloads + "\\empty.bin";
    const std::string big = payloads + "\\large-" + std::to_string(options_.big) + "mb.bin";
    if (!Prepare(large, BenchPayload::kLargeFiles, 200) || !Prepare(many, BenchPayload::kManyFiles, 0) ||
        !Prepare(empty, BenchPayload::kEmpty, 0) ||
        (options_.big > 0 && !Prepare(big, BenchPayload::kLargeFiles, options_.big)) || !MakeSetup())
        return 1;

    std::printf("%s, %d-bit\n", testwin::IsWine() ? "under Wine" : "on Windows", static_cast<int>(8 * sizeof(void*)));
    Shape("200 MB in 8 files", large);
    Shape("4,000 files of 1 to 24 KB in 40 folders", many);
    StartUp();
    std::printf("\npeak memory of the launcher's extraction and clean-up:\n");
    Memory("empty payload", empty);
    if (options_.big > 0)
        Memory((std::to_string(options_.big) + " MB in files of 25 MB").c_str(), big);

    for (const std::string& file : made_) {
        if (file == setup_ || !options_.keep)
            DeleteFileA(file.c_str());
    }
    TestFolder::RemoveAll(options_.folder + "\\Orvane");
    RemoveDirectoryA(payloads.c_str());
    RemoveDirectoryA(options_.folder.c_str());
    return status_;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0)
        return LauncherChild(argv[2], std::atoi(argv[3]), argv[4], argv[5]);
    Options options;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        const bool value = i + 1 < argc;
        if (std::strcmp(argv[i], "--runs") == 0 && value)
            options.runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--big") == 0 && value)
            options.big = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--folder") == 0 && value)
            options.folder = argv[++i];
        else if (std::strcmp(argv[i], "--payloads") == 0 && value)
            options.payloads = argv[++i];
        else if (std::strcmp(argv[i], "--keep") == 0)
            options.keep = true;
        else
            usage = true;
    }
    if (usage || options.runs <= 0) {
        std::fprintf(stderr, "usage: bench_extract [--runs N] [--big MB (0: none)] [--folder C:\\qmbench] "
                             "[--payloads DIR] [--keep]\n");
        return 2;
    }
    return Driver(options).Run();
}
