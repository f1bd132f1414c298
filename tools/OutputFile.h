// OutputFile: a new file that appears under its final name only when it is
// complete. It is written under a temporary name beside the target, named
// after it ("setup.exe" as "setup.exe.qm-build-k3J9xQ.tmp": the same
// folder, so the final rename stays on one volume) and renamed over the
// target by Commit; a file that is never committed is removed when the
// object goes, and also when the builder is interrupted: on SIGINT, SIGTERM
// and SIGHUP the handler removes it and the signal then ends the program as
// usual; on Windows, Ctrl-C and Ctrl-Break are noted (Interrupted) and the
// builder stops at the next piece, which removes it the ordinary way. What
// nothing can remove (a build killed outright, a crash, a power cut) stays,
// and Leftovers finds it by its name.
#pragma once
#include <string>
#include <vector>

#include "tools/HostFile.h"

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Whether `target` may be replaced: it does not exist, or it is a
    // regular file (not a device, a FIFO or a folder) and not the same file
    // as `keep` (the stub). False with the reason otherwise.
    static bool CheckTarget(const std::string& target, const std::string& keep, std::string& error);
    // True once Ctrl-C or Ctrl-Break was pressed (Windows only).
    static bool Interrupted();
    // The temporary files of `target` in its folder: left by builds that
    // ended before they could remove them, or by one still running.
    static std::vector<std::string> Leftovers(const std::string& target);

    // Creates an empty temporary file beside `target`, open for writing.
    // A target name longer than the longest file name less 20 bytes leaves
    // no room for the temporary name: refused.
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
    int slot_ = -1;    // where the interruption handlers know it from
    HostFile file_;
};
