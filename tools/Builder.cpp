#include "tools/Builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveName.h"
#include "payload/PayloadWriter.h"
#include "payload/StubSettings.h"
#include "support/PathFunctionNames.h"
#include "tools/HostFile.h"
#include "tools/HostFolder.h"
#include "tools/OutputFile.h"
#include "tools/PeFile.h"
#include "tools/ProgressBar.h"
#include "tools/Signer.h"
#include "tools/SourceTree.h"
#include "tools/StubImage.h"
#include "tools/SystemError.h"

namespace {

// Folders with less content than this finish before a bar would help.
constexpr uint64_t kProgressThreshold = 16u << 20;
// Warnings of one kind shown before the rest are summed up.
constexpr size_t kMaxListed = 20;

// The launcher reads raw input in pieces of this size from the payload's
// start; the payload is padded to a whole number of them, so that a
// certificate table appended later starts in a piece of its own.
constexpr uint32_t kPieceSize = ArchiveFormat::kPieceSize;
// The installer's name area holds this many bytes before its zero.
constexpr size_t kMaxInstallerName = StubSettings::kMaxInstallerName;

// Whether the stub holds text (length bytes, a terminator among them): a
// sign of what it can do.
bool StubHolds(const StubImage& stub, const char* text, size_t length)
{
    return std::search(stub.Bytes().begin(), stub.Bytes().end(), text, text + length) != stub.Bytes().end();
}

class FileSink : public PayloadWriter::Sink {
public:
    explicit FileSink(HostFile& file) : file_(file) {}
    bool Put(const uint8_t* data, size_t length) override { return file_.Write(data, length); }

private:
    HostFile& file_;
};

} // namespace

bool Builder::ParseSourceDateEpoch(const std::string& text, uint64_t* fileTime)
{
    // Plain decimal seconds since 1970, as the reproducible-builds convention
    // has it; anything else is refused rather than guessed at.
    if (text.empty() || text.size() > 12)
        return false;
    int64_t seconds = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        seconds = seconds * 10 + (c - '0');
    }
    *fileTime = HostFolder::FileTimeFromUnix(seconds, 0);
    return true;
}

void Builder::Error(const std::string& text)
{
    // A message starts a line of its own, not the end of the bar's line.
    if (progress_ != nullptr)
        progress_->Finish();
    std::fprintf(stderr, "qm-build: error: %s\n", text.c_str());
}

void Builder::Warning(const std::string& text)
{
    if (options_.verbosity != BuildOptions::Quiet)
        std::fprintf(stderr, "qm-build: warning: %s\n", text.c_str());
}

void Builder::Info(const std::string& text)
{
    if (options_.verbosity == BuildOptions::Verbose)
        std::fprintf(stdout, "%s\n", text.c_str());
}

int Builder::Run()
{
    // 1 to 3 only look, and each reports every problem it finds, so that
    // one run names them all; nothing is written unless all is well.
    StubImage stub;
    std::string installer;
    TimePolicy times;
    bool sound = LoadStub(stub);
    sound = NameInstaller(installer) && sound;
    sound = ChooseTimes(times) && sound;
    SourceTree tree(codec_, times);
    sound = ReadSource(stub, installer, tree) && sound;
    if (!sound || !Warn(stub, tree))
        return kFailure;
    // 4 and 5: written under a temporary name, in place only when complete.
    OutputFile out;
    uint64_t payloadBytes = 0;
    if (!WriteInstaller(stub, installer, tree, out, &payloadBytes) || !PutInPlace(out, stub.PayloadOffset()))
        return kFailure;
    Report(tree, stub.PayloadOffset(), payloadBytes);
    return kSuccess;
}

// 1. The stub: a PE image, unsigned, with the settings block once.
bool Builder::LoadStub(StubImage& stub)
{
    std::string error;
    if (stub.Load(options_.stub, error))
        return true;
    Error(error);
    return false;
}

// 2. The installer's name, as the launcher will see it.
bool Builder::NameInstaller(std::string& installer)
{
    const std::string named = "the installer name \"" + options_.installer + "\"";
    if (!codec_.ToArchive(options_.installer, installer)) {
        Error(named + " cannot be written in code page 932 (Shift-JIS) exactly");
        return false;
    }
    if (installer.size() > kMaxInstallerName) {
        Error(named + " is " + std::to_string(installer.size()) + " bytes in Shift-JIS; the stub holds at most " +
              std::to_string(kMaxInstallerName));
        return false;
    }
    if (!IsSafeArchiveName(installer.c_str())) {
        Error(named + " is not a plain file name that Windows can use");
        return false;
    }
    return true;
}

// The times stored: the last-write time for the last access unless asked
// otherwise, none later than SOURCE_DATE_EPOCH when it is set.
bool Builder::ChooseTimes(TimePolicy& times)
{
    times.keepAccessTimes = options_.keepAccessTimes;
    if (options_.sourceDateEpoch.empty())
        return true;
    times.clamp = true;
    if (ParseSourceDateEpoch(options_.sourceDateEpoch, &times.latest))
        return true;
    Error("SOURCE_DATE_EPOCH=" + options_.sourceDateEpoch + " is not a number of seconds since 1970");
    return false;
}

// 3. The tree, read whole; every problem in it is listed. The installer
// must be a file at its top, and the output may replace nothing but a
// regular file outside it.
bool Builder::ReadSource(const StubImage& stub, const std::string& installer, SourceTree& tree)
{
    tree.Scan(options_.source);
    for (const std::string& p : tree.Problems())
        Error(p);
    bool sound = tree.Problems().empty();
    // Names outside code page 932 go in UTF-8, which only a stub that knows
    // the names line reads: an older one (or another builder's) would take
    // them for Shift-JIS, and refuse them as damage or make other names.
    const char* namesLine = ArchiveFormat::kUtf8NamesLine;
    if (tree.Utf8Names() && !stub.Bytes().empty() && !StubHolds(stub, namesLine, std::strlen(namesLine) + 1)) {
        Error(tree.FirstUtf8Name() + ": this name and any other that code page 932 cannot hold go into the payload "
              "in UTF-8, which the stub " + options_.stub + " cannot read (it is older, or another builder's); use "
              "this builder's own stub");
        sound = false;
    }
    if (!installer.empty() && HostFolder::KindOf(options_.source) == HostEntry::Folder) {
        // The stub names the installer in code page 932; the tree names it
        // in the payload's own encoding.
        const std::string& name = tree.Utf8Names() ? options_.installer : installer;
        const SourceEntry* found = nullptr;
        for (const SourceEntry& e : tree.Top()) {
            if (e.name == name)
                found = &e;
        }
        if (found == nullptr || found->folder) {
            Error("the installer \"" + options_.installer + "\" is not a file at the top of " + options_.source);
            sound = false;
        }
    }
    // The output must not land in the folder it is made from: the next run
    // would pack the last installer.
    if (HostFolder::IsSameOrInside(HostFolder::Parent(options_.output), options_.source)) {
        Error("the output " + options_.output + " lies inside the folder being packed");
        sound = false;
    }
    // Only a regular file is replaced, and never the stub itself.
    std::string error;
    if (!OutputFile::CheckTarget(options_.output, options_.stub, error)) {
        Error(error);
        sound = false;
    }
    return sound;
}

// What may go wrong on the user's machine, once nothing was refused; false
// when --werror makes that an error.
bool Builder::Warn(const StubImage& stub, const SourceTree& tree)
{
    for (size_t i = 0; i < tree.Warnings().size() && i < kMaxListed; ++i)
        Warning(tree.Warnings()[i]);
    if (tree.Warnings().size() > kMaxListed)
        Warning(std::to_string(tree.Warnings().size() - kMaxListed) + " more paths may be too long");
    // A stub of this project's own takes its paths as wide ones wherever
    // the ANSI code page would garble them; an older one (or another
    // builder's) does not, and only then is the warning true.
    const bool widePaths = StubHolds(stub, kPathFunctionNames, sizeof kPathFunctionNames);
    const uint32_t garbled = widePaths ? 0 : tree.NonAsciiNames();
    if (garbled != 0)
        Warning(tree.FirstNonAsciiName() + (tree.NonAsciiNames() > 1 ? " and " + std::to_string(tree.NonAsciiNames() - 1) +
                                                                            " more names are" : " is") +
                " not plain ASCII: the installer unpacks such names correctly only on Windows whose ANSI code page "
                "is 932 (Japanese); elsewhere they come out garbled, and a name with a character whose second byte "
                "in Shift-JIS is 0x5C (a backslash, as in \"ソ\" or \"表\") is split into folders");
    const size_t leftovers = WarnAboutLeftovers();
    if (options_.warningsAreErrors && (!tree.Warnings().empty() || garbled != 0 || leftovers != 0)) {
        Error("warnings are errors (--werror): nothing written");
        return false;
    }
    return true;
}

// 4. The stub with its settings, then the payload, into a temporary file.
bool Builder::WriteInstaller(StubImage& stub, const std::string& installer, const SourceTree& tree, OutputFile& out,
                             uint64_t* payloadBytes)
{
    std::string error;
    if (!stub.Patch(installer, error) || !out.Create(options_.output, error)) {
        Error(error);
        return false;
    }
    if (!out.File().Write(stub.Bytes().data(), stub.Bytes().size())) {
        Error("cannot write " + out.TempPath() + ": " + SystemError::Last());
        return false;
    }
    FileSink sink(out.File());
    PayloadWriter writer(sink, options_.level);
    writer.SetUtf8Names(tree.Utf8Names());
    bool showProgress = options_.verbosity != BuildOptions::Quiet && tree.ContentBytes() >= kProgressThreshold &&
                        ProgressBar::StderrIsTerminal();
    {
        ProgressBar progress(showProgress, tree.ContentBytes());
        progress_ = &progress;
        bool written = WriteEntries(writer, tree.Top(), progress);
        progress.Finish();
        progress_ = nullptr;
        if (!written)
            return false;
    }
    // The closing "U" ends the archive; the stream itself stays open.
    if (!writer.Up() || !writer.PadToPiece(kPieceSize)) {
        Error("cannot write " + out.TempPath());
        return false;
    }
    // Windows does not start a program file of 4 GiB or more; a signature
    // makes the file larger still, and its table's position is 32 bits.
    const uint64_t installerBytes = stub.PayloadOffset() + writer.PayloadBytes();
    if (installerBytes >= kMaxInstallerBytes) {
        Error("the installer would be " + std::to_string(installerBytes) +
              " bytes: Windows does not start a program of 4 GiB or more");
        return false;
    }
    *payloadBytes = writer.PayloadBytes();
    installerBytes_ = installerBytes;
    return true;
}

// 5. Signed: the whole file, so the certificate table follows the padded
// payload. Otherwise the file is complete as it is.
bool Builder::PutInPlace(OutputFile& out, uint64_t payloadOffset)
{
    std::string error;
    if (!options_.sign.Wanted()) {
        if (out.Commit(error))
            return true;
        Error(error);
        return false;
    }
    OutputFile signedOut;
    if (!out.Close(error) || !signedOut.Create(options_.output, error) || !signedOut.Close(error)) {
        Error(error);
        return false;
    }
    std::string log;
    bool signedOk = Signer::Sign(options_.sign, out.TempPath(), signedOut.TempPath(), log, error);
    if (!signedOk || options_.verbosity == BuildOptions::Verbose) {
        if (!log.empty())
            std::fprintf(stderr, "%s%s", log.c_str(), log.back() == '\n' ? "" : "\n");
    }
    if (!signedOk) {
        Error("signing failed: " + error);
        return false;
    }
    if (!CheckSignedLayout(out.TempPath(), signedOut.TempPath(), payloadOffset))
        return false;
    if (!signedOut.Commit(error)) {
        Error(error);
        return false;
    }
    return true;
}

// The one line that says what was written: the payload against the
// content it holds.
void Builder::Report(const SourceTree& tree, uint64_t payloadOffset, uint64_t payloadBytes) const
{
    if (options_.verbosity == BuildOptions::Quiet)
        return;
    double ratio = tree.ContentBytes() == 0
                       ? 0.0
                       : 100.0 * static_cast<double>(payloadBytes) / static_cast<double>(tree.ContentBytes());
    std::printf("qm-build: wrote %s: %llu bytes%s, %u files, %u folders, payload %llu bytes at offset %llu "
                "(%.1f%% of %llu bytes of content)\n",
                options_.output.c_str(), static_cast<unsigned long long>(installerBytes_),
                options_.sign.Wanted() ? " signed" : "", tree.FileCount(), tree.FolderCount(),
                static_cast<unsigned long long>(payloadBytes), static_cast<unsigned long long>(payloadOffset), ratio,
                static_cast<unsigned long long>(tree.ContentBytes()));
}

size_t Builder::WarnAboutLeftovers()
{
    // Named, not removed: one that a build still running writes looks the
    // same, and removing it would break that build.
    const std::vector<std::string> leftovers = OutputFile::Leftovers(options_.output);
    for (const std::string& path : leftovers)
        Warning(path + " is a temporary file of an earlier build into " + options_.output +
                " that was stopped before it could remove it (or of one still running); remove it when no "
                "build is running");
    return leftovers.size();
}

bool Builder::WriteEntries(PayloadWriter& writer, const std::vector<SourceEntry>& entries, ProgressBar& progress)
{
    for (const SourceEntry& e : entries) {
        if (e.folder) {
            Info("D " + e.hostPath);
            if (!writer.Folder(e.name.c_str(), e.record)) {
                Error("cannot write the output");
                return false;
            }
            if (!WriteEntries(writer, e.children, progress))
                return false;
            if (!writer.Up()) {
                Error("cannot write the output");
                return false;
            }
            continue;
        }
        Info("F " + e.hostPath + " (" + std::to_string(e.size) + " bytes)");
        if (!writer.FileBegin(e.name.c_str(), e.size)) {
            Error("cannot write the output");
            return false;
        }
        if (!WriteContent(writer, e, progress))
            return false;
        if (!writer.FileEnd(e.record)) {
            Error("cannot write the output");
            return false;
        }
    }
    return true;
}

bool Builder::WriteContent(PayloadWriter& writer, const SourceEntry& file, ProgressBar& progress)
{
    HostFile in;
    if (!in.Open(file.hostPath, "rb")) {
        Error("cannot open " + file.hostPath + ": " + SystemError::Last());
        return false;
    }
    // Exactly the size that was written in the size line: a file that
    // changes between the scan and now would make a damaged archive.
    uint8_t buffer[kPieceSize];
    int64_t left = file.size;
    while (left > 0) {
        size_t want = left < static_cast<int64_t>(sizeof buffer) ? static_cast<size_t>(left) : sizeof buffer;
        size_t got = in.Read(buffer, want);
        if (got != want) {
            Error(in.Failed() ? "cannot read " + file.hostPath : file.hostPath + " got shorter while it was packed");
            return false;
        }
        if (!writer.FileContent(buffer, got)) {
            Error("cannot write the output");
            return false;
        }
        left -= static_cast<int64_t>(got);
        progress.Advance(got);
        if (OutputFile::Interrupted()) {
            Error("interrupted; nothing written");
            return false;
        }
    }
    if (in.Read(buffer, 1) != 0) {
        Error(file.hostPath + " grew while it was packed");
        return false;
    }
    return true;
}

bool Builder::CheckSignedLayout(const std::string& unsignedPath, const std::string& signedPath, uint64_t payloadOffset)
{
    // The signing tool may change only the checksum and the certificate
    // table's directory entry, and append: the table must start at or after
    // the end of the padded payload, so the launcher never reads it.
    HostFile a, b;
    if (!a.Open(unsignedPath, "rb") || !b.Open(signedPath, "rb")) {
        Error("cannot read the signed installer back: " + SystemError::Last());
        return false;
    }
    PeLayout layout;
    auto changeable = [&layout](uint64_t at) {
        return (at >= layout.checksumPos && at < layout.checksumPos + 4u) ||
               (at >= layout.securityEntryPos && at < layout.securityEntryPos + 8u);
    };
    // Both files in step, a piece at a time, until the signed one ends: the
    // unsigned one must be its beginning. The first piece holds the headers.
    std::vector<uint8_t> mine(65536), theirs(65536);
    uint64_t unsignedLength = 0, signedLength = 0;
    bool same = true;
    for (;;) {
        const size_t n = a.Read(mine.data(), mine.size());
        const size_t m = b.Read(theirs.data(), theirs.size());
        std::string why;
        if (signedLength == 0 && (!PeFile::Read(theirs.data(), m, layout, why) || layout.certSize == 0)) {
            Error("the signing tool left no certificate table" + (why.empty() ? std::string() : ": " + why));
            return false;
        }
        same = same && n <= m;
        for (size_t k = 0; same && k < n; ++k)
            same = mine[k] == theirs[k] || changeable(unsignedLength + k);
        unsignedLength += n;
        signedLength += m;
        if (!same || m < theirs.size())
            break;
    }
    if (a.Failed() || b.Failed()) {
        Error("cannot read the signed installer back");
        return false;
    }
    if (!same || layout.certOffset < unsignedLength || uint64_t{layout.certOffset} + layout.certSize != signedLength ||
        (unsignedLength - payloadOffset) % kPieceSize != 0) {
        Error("the signing tool changed the installer beyond appending its signature; not written");
        return false;
    }
    if (signedLength >= kMaxInstallerBytes) {
        Error("the signed installer is " + std::to_string(signedLength) +
              " bytes: Windows does not start a program of 4 GiB or more");
        return false;
    }
    installerBytes_ = signedLength;
    return true;
}
