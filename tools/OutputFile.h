// OutputFile: a new file that appears under its final name only when it is
// complete. It is written under a temporary name in the target's folder
// (so the final rename stays on one volume) and renamed over the target by
// Commit; a file that is never committed is removed when the object goes.
#pragma once
#include <string>

#include "tools/HostFile.h"

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates an empty temporary file beside `target`, open for writing.
    bool Create(const std::string& target, std::string& error);
    HostFile& File() { return file_; }
    const std::string& TempPath() const { return temp_; }

    // Closes the file, which stays a temporary one, so that another program
    // may work on it; false when not everything written reached the disk.
    bool Close(std::string& error);
    // Closes the file (when still open) and puts it in place of the target.
    bool Commit(std::string& error);

private:
    std::string target_;
    std::string temp_; // empty once committed or when there is none
    HostFile file_;
};
