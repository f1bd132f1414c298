// Builder: makes one installer from the command line's options: reads and
// checks the stub and the source folder, writes stub and payload to a
// temporary file beside the output, signs it when asked, and only then puts
// it in place of the output.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/BuildOptions.h"
#include "tools/NameCodec.h"

class OutputFile;
class PayloadWriter;
class ProgressBar;
class SourceTree;
class StubImage;
struct SourceEntry;
struct TimePolicy;

class Builder {
public:
    // kUnchecked: --verify read a sound payload in which some files (or
    // all) have no check line, so their content could not be checked.
    enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2, kUnchecked = 3 };

    // Windows starts no program file of this size or more.
    static constexpr uint64_t kMaxInstallerBytes = uint64_t{1} << 32;

    explicit Builder(const BuildOptions& options) : options_(options) {}
    int Run();

    // SOURCE_DATE_EPOCH (decimal seconds since 1970) as a FILETIME; false
    // when it is anything else.
    static bool ParseSourceDateEpoch(const std::string& text, uint64_t* fileTime);

private:
    // The steps of Run, in order; each reports what it refuses (Error) and
    // returns false then.
    bool LoadStub(StubImage& stub);
    bool NameInstaller(std::string& installer);
    bool ChooseTimes(TimePolicy& times);
    bool ReadSource(const StubImage& stub, const std::string& installer, SourceTree& tree);
    bool Warn(const StubImage& stub, const SourceTree& tree);
    bool WriteInstaller(StubImage& stub, const std::string& installer, const SourceTree& tree, OutputFile& out,
                        uint64_t* payloadBytes);
    bool PutInPlace(OutputFile& out, uint64_t payloadOffset);
    void Report(const SourceTree& tree, uint64_t payloadOffset, uint64_t payloadBytes) const;

    bool WriteEntries(PayloadWriter& writer, const std::vector<SourceEntry>& entries, ProgressBar& progress);
    bool WriteContent(PayloadWriter& writer, const SourceEntry& file, ProgressBar& progress);
    bool CheckSignedLayout(const std::string& unsignedPath, const std::string& signedPath, uint64_t payloadOffset);
    // Names what interrupted builds into the output's folder left there;
    // how many.
    size_t WarnAboutLeftovers();
    void Error(const std::string& text);
    void Warning(const std::string& text);
    void Info(const std::string& text);

    const BuildOptions& options_;
    NameCodec codec_;
    ProgressBar* progress_ = nullptr; // the bar on screen while files are written, not owned
    uint64_t installerBytes_ = 0;     // the installer's length as written (signed: with its signature)
};
