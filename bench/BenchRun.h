// One measured run of an extraction and its clean-up, made in a child
// process of its own (so that its peak memory is its own) and handed to
// the benchmark's driver through a one-line result file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

struct BenchRun {
    bool ok = false; // both succeeded, the tree was there and is gone
    double extractWall = 0;
    double extractCpu = 0;
    double cleanUpWall = 0;
    double cleanUpCpu = 0;
    uint64_t files = 0; // what the extraction made
    uint64_t bytes = 0;
    uint64_t peakWorkingSet = 0; // 0 where not asked
    uint64_t peakPagefile = 0;

    // Times extract, counts the tree at work (untimed), times cleanUp.
    static BenchRun Measure(const std::function<bool()>& extract, const std::function<bool()>& cleanUp,
                            const std::wstring& work);

    bool Write(const std::string& path) const;
    // False when the file is missing or malformed.
    bool Read(const std::string& path);
};

// The text of a command-line argument (ASCII paths of the benchmark) as
// UTF-16.
std::wstring BenchWide(const std::string& text);
