// bench_plain: the plainest fast program that does the launcher's work, for
// the extraction benchmark (bench_extract starts it):
//
//   bench_plain measure COMBINED OFFSET WORK RESULT
//       unpacks the payload at OFFSET of COMBINED into WORK, then removes
//       WORK, each timed; the figures go to RESULT (BenchRun)
//   bench_plain extract COMBINED OFFSET WORK
//       only unpacks, as fast as it can from its start (the start-up's
//       baseline: the time from its start to the first file written)
//   bench_plain /quillimarkmode
//       the installer of the start-up payload, run by the launcher from its
//       work folder: writes the last-write time of the payload's first
//       file beside it (FILETIME, decimal) to the file that the variable
//       QM_BENCH_FIRST_FILE names, and ends with 0
//
// It imports kernel32 and the C runtime only, and links zlib: no more than
// such a program needs to start.
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchPayload.h"
#include "bench/BenchRun.h"
#include "bench/PlainExtractor.h"
#include "bench/PlainRemoval.h"

namespace {

int ReportFirstFile()
{
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    std::wstring first(self);
    first.resize(first.rfind(L'\\') + 1);
    first += BenchWide(BenchPayload::kFirstFile);
    WIN32_FILE_ATTRIBUTE_DATA data;
    const char* result = std::getenv("QM_BENCH_FIRST_FILE");
    if (result == nullptr || !GetFileAttributesExW(first.c_str(), GetFileExInfoStandard, &data))
        return 1;
    std::FILE* f = std::fopen(result, "w");
    if (f == nullptr)
        return 1;
    const uint64_t written =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    std::fprintf(f, "%" PRIu64 "\n", written);
    return std::fclose(f) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "/quillimarkmode") == 0)
        return ReportFirstFile();
    const bool measure = argc == 6 && std::strcmp(argv[1], "measure") == 0;
    if (!measure && !(argc == 5 && std::strcmp(argv[1], "extract") == 0)) {
        std::fprintf(stderr, "usage: bench_plain measure|extract COMBINED OFFSET WORK [RESULT] | /quillimarkmode\n");
        return 2;
    }
    const std::wstring combined = BenchWide(argv[2]);
    const uint64_t offset = std::strtoull(argv[3], nullptr, 10);
    const std::wstring work = BenchWide(argv[4]);
    if (!measure)
        return PlainExtractor().Run(combined.c_str(), offset, work.c_str()) ? 0 : 1;
    const BenchRun run = BenchRun::Measure(
        [&] { return PlainExtractor().Run(combined.c_str(), offset, work.c_str()); },
        [&] { return PlainRemoveTree(work); }, work);
    return run.Write(argv[5]) && run.ok ? 0 : 1;
}
