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

class PayloadWriter;
class ProgressBar;
struct SourceEntry;

class Builder {
public:
    // kUnchecked: --verify read a sound payload in which some files (or
    // all) have no check line, so their content could not be checked.
    enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2, kUnchecked = 3 };


    // zlib's level when none is asked for: 9 costs several times the
    // processor time for payloads a little smaller (the measured figure:
    // README, "Making an installer").
    static constexpr int kDefaultLevel = 6;
    // Windows starts no program file of this size or more.
    static constexpr uint64_t kMaxInstallerBytes = uint64_t{1} << 32;

    explicit Builder(const BuildOptions& options) : options_(options) {}
    int Run();

    // SOURCE_DATE_EPOCH (decimal seconds since 1970) as a FILETIME; false
    // when it is anything else.
    static bool ParseSourceDateEpoch(const std::string& text, uint64_t* fileTime);

private:
    bool WriteEntries(PayloadWriter& writer, const std::vector<SourceEntry>& entries, ProgressBar& progress);
    bool WriteContent(PayloadWriter& writer, const SourceEntry& file, ProgressBar& progress);
    bool CheckSignedLayout(const std::string& unsignedPath, const std::string& signedPath, uint64_t payloadOffset);
    void Error(const std::string& text);
    void Warning(const std::string& text);
    void Info(const std::string& text);

    const BuildOptions& options_;
    NameCodec codec_;
    ProgressBar* progress_ = nullptr; // the bar on screen while files are written, not owned
    uint64_t signedBytes_ = 0;        // the signed installer's length, once signed
};
