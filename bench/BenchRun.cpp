#include "bench/BenchRun.h"

#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "bench/BenchClock.h"

namespace {

// Files and content bytes below folder.
void Count(const std::wstring& folder, uint64_t* files, uint64_t* bytes)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t* name = found.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0')))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Count(folder + L'\\' + name, files, bytes);
        } else {
            ++*files;
            *bytes += (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace

std::wstring BenchWide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

BenchRun BenchRun::Measure(const std::function<bool()>& extract, const std::function<bool()>& cleanUp,
                           const std::wstring& work)
{
    BenchRun run;
    double cpu = BenchClock::Cpu();
    double wall = BenchClock::Wall();
    const bool extracted = extract();
    run.extractWall = BenchClock::Wall() - wall;
    run.extractCpu = std::max(0.0, BenchClock::Cpu() - cpu);
    Count(work, &run.files, &run.bytes);
    cpu = BenchClock::Cpu();
    wall = BenchClock::Wall();
    const bool removed = cleanUp();
    run.cleanUpWall = BenchClock::Wall() - wall;
    run.cleanUpCpu = std::max(0.0, BenchClock::Cpu() - cpu);
    run.ok = extracted && removed && GetFileAttributesW(work.c_str()) == INVALID_FILE_ATTRIBUTES;
    return run;
}

bool BenchRun::Write(const std::string& path) const
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    std::fprintf(f, "%d %.6f %.6f %.6f %.6f %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", ok ? 1 : 0,
                 extractWall, extractCpu, cleanUpWall, cleanUpCpu, files, bytes, peakWorkingSet, peakPagefile);
    return std::fclose(f) == 0;
}

bool BenchRun::Read(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr)
        return false;
    int flag = 0;
    const bool read = std::fscanf(f, "%d %lf %lf %lf %lf %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNu64, &flag,
                                  &extractWall, &extractCpu, &cleanUpWall, &cleanUpCpu, &files, &bytes,
                                  &peakWorkingSet, &peakPagefile) == 9;
    std::fclose(f);
    ok = read && flag == 1;
    return read;
}
