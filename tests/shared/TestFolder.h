// A test program's own scratch folder for plain files: under the system's
// temporary folder on Linux, on the C: drive of the Wine prefix on Windows
// (never Z:, the Linux root). Made on construction; removed with the files
// in it (one level, no sub-folders) on destruction.
#pragma once
#include <string>

#ifdef _WIN32
#include "tests/win/ScratchFolder.h"
#endif

class TestFolder {
public:
    explicit TestFolder(const char* name);
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool Made() const { return !Path().empty(); }
    const std::string& Path() const;
    // Path() + separator + name
    std::string Join(const std::string& name) const;

    // Writes bytes to the file name in the folder; returns its path, or an
    // empty text when that failed.
    std::string Write(const std::string& name, const std::string& bytes) const;
    static bool Read(const std::string& path, std::string* bytes);

private:
#ifdef _WIN32
    ScratchFolder scratch_;
#else
    std::string path_;
#endif
};
