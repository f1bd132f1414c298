// The payloads of the extraction benchmark, made deterministically: each
// one a file that holds `front` (a stub, or filler standing in for one)
// followed by the payload, as an installer holds them. Content is of the
// three kinds of BenchContent, attributes and times as a builder writes
// them (archive for files, times of their own), every file with its check
// line, compressed at the builder's default level.
#pragma once
#include <cstdint>
#include <string>

class BenchPayload {
public:
    // The shapes that the figures are taken for.
    enum Shape {
        kLargeFiles, // files of 25 MB in one folder: 200 MB in 8 files
        kManyFiles,  // 4,000 files of 1 to 24 KB in 40 folders
        kEmpty,      // the closing record alone
    };

    // Writes front, then the payload of the shape (kLargeFiles: megabytes
    // of it, in files of 25 MB) to path. False when the file cannot be
    // written.
    static bool Make(const std::string& path, const std::string& front, Shape shape, uint64_t megabytes = 200);

    // The payload that the start-up is measured with: a small first file,
    // kFirstFile, then the program installer under installerName.
    static bool MakeStartUp(const std::string& path, const std::string& front, const std::string& installer,
                            const char* installerName);
    static constexpr const char* kFirstFile = "first.txt";
};
