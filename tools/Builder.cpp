#include "tools/Builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
    std::string error;
    bool refused = false;

    // 1. The stub: a PE image, unsigned, with the settings block once.
    StubImage stub;
    if (!stub.Load(options_.stub, error)) {
        Error(error);
        refused = true;
    }

    // 2. The installer's name, as the launcher will see it.
    std::string installer;
    if (!codec_.ToArchive(options_.installer, installer)) {
        Error("the installer name \"" + options_.installer + "\" cannot be written in code page 932 (Shift-JIS) exactly");
        refused = true;
    } else if (installer.size() > kMaxInstallerName) {
        Error("the installer name \"" + options_.installer + "\" is " + std::to_string(installer.size()) +
              " bytes in Shift-JIS; the stub holds at most " + std::to_string(kMaxInstallerName));
        refused = true;
    } else if (!IsSafeArchiveName(installer.c_str())) {
        Error("the installer name \"" + options_.installer + "\" is not a plain file name that Windows can use");
        refused = true;
    }

    // 3. The tree, read whole; every problem in it is listed.
    TimePolicy times;
    times.keepAccessTimes = options_.keepAccessTimes;
    if (!options_.sourceDateEpoch.empty()) {
        if (!ParseSourceDateEpoch(options_.sourceDateEpoch, &times.latest)) {
            Error("SOURCE_DATE_EPOCH=" + options_.sourceDateEpoch + " is not a number of seconds since 1970");
            refused = true;
        }
        times.clamp = true;
    }
    SourceTree tree(codec_, times);
    tree.Scan(options_.source);
    for (const std::string& p : tree.Problems())
        Error(p);
    refused = refused || !tree.Problems().empty();
    // Names outside code page 932 go in UTF-8, which only a stub that knows
    // the names line reads: an older one (or another builder's) would take
    // them for Shift-JIS, and refuse them as damage or make other names.
    const char* namesLine = ArchiveFormat::kUtf8NamesLine;
    if (tree.Utf8Names() && !stub.Bytes().empty() && !StubHolds(stub, namesLine, std::strlen(namesLine) + 1)) {
        Error(tree.FirstUtf8Name() + ": this name and any other that code page 932 cannot hold go into the payload "
              "in UTF-8, which the stub " + options_.stub + " cannot read (it is older, or another builder's); use "
              "this builder's own stub");
        refused = true;
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
            refused = true;
        }
    }
    // The output must not land in the folder it is made from: the next run
    // would pack the last installer.
    if (HostFolder::IsSameOrInside(HostFolder::Parent(options_.output), options_.source)) {
        Error("the output " + options_.output + " lies inside the folder being packed");
        refused = true;
    }
    // Only a regular file is replaced, and never the stub itself.
    if (!OutputFile::CheckTarget(options_.output, options_.stub, error)) {
        Error(error);
        refused = true;
    }
    if (refused)
        return kFailure;
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
    if (options_.warningsAreErrors && (!tree.Warnings().empty() || garbled != 0)) {
        Error("warnings are errors (--werror): nothing written");
        return kFailure;
    }

    // 4. The stub with its settings, then the payload, into a temporary file.
    if (!stub.Patch(installer, error)) {
        Error(error);
        return kFailure;
    }
    OutputFile out;
    if (!out.Create(options_.output, error)) {
        Error(error);
        return kFailure;
    }
    if (!out.File().Write(stub.Bytes().data(), stub.Bytes().size())) {
        Error("cannot write " + out.TempPath());
        return kFailure;
    }
    FileSink sink(out.File());
    PayloadWriter writer(sink, options_.level != 0 ? options_.level : kDefaultLevel);
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
            return kFailure;
    }
    // The closing "U" ends the archive; the stream itself stays open.
    if (!writer.Up() || !writer.PadToPiece(kPieceSize)) {
        Error("cannot write " + out.TempPath());
        return kFailure;
    }
    // Windows does not start a program file of 4 GiB or more; a signature
    // makes the file larger still, and its table's position is 32 bits.
    const uint64_t installerBytes = stub.PayloadOffset() + writer.PayloadBytes();
    if (installerBytes >= kMaxInstallerBytes) {
        Error("the installer would be " + std::to_string(installerBytes) +
              " bytes: Windows does not start a program of 4 GiB or more");
        return kFailure;
    }

    // 5. Signed: the whole file, so the certificate table follows the padded
    // payload. Otherwise the file is complete as it is.
    if (options_.sign.Wanted()) {
        if (!out.Close(error)) {
            Error(error);
            return kFailure;
        }
        OutputFile signedOut;
        if (!signedOut.Create(options_.output, error) || !signedOut.Close(error)) {
            Error(error);
            return kFailure;
        }
        std::string log;
        bool signedOk = Signer::Sign(options_.sign, out.TempPath(), signedOut.TempPath(), log, error);
        if (!signedOk || options_.verbosity == BuildOptions::Verbose) {
            if (!log.empty())
                std::fprintf(stderr, "%s%s", log.c_str(), log.back() == '\n' ? "" : "\n");
        }
        if (!signedOk) {
            Error("signing failed: " + error);
            return kFailure;
        }
        if (!CheckSignedLayout(out.TempPath(), signedOut.TempPath(), stub.PayloadOffset()))
            return kFailure;
        if (!signedOut.Commit(error)) {
            Error(error);
            return kFailure;
        }
    } else if (!out.Commit(error)) {
        Error(error);
        return kFailure;
    }
    if (options_.verbosity != BuildOptions::Quiet) {
        // The payload against the content it holds.
        double ratio = tree.ContentBytes() == 0 ? 0.0
                                                : 100.0 * static_cast<double>(writer.PayloadBytes()) /
                                                      static_cast<double>(tree.ContentBytes());
        std::printf("qm-build: wrote %s: %llu bytes%s, %u files, %u folders, payload %llu bytes at offset %llu "
                    "(%.1f%% of %llu bytes of content)\n",
                    options_.output.c_str(), static_cast<unsigned long long>(signedBytes_ != 0 ? signedBytes_ : installerBytes),
                    options_.sign.Wanted() ? " signed" : "", tree.FileCount(), tree.FolderCount(),
                    static_cast<unsigned long long>(writer.PayloadBytes()),
                    static_cast<unsigned long long>(stub.PayloadOffset()), ratio,
                    static_cast<unsigned long long>(tree.ContentBytes()));
    }
    return kSuccess;
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
        Error("cannot open " + file.hostPath + ": " + std::strerror(errno));
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
        Error("cannot read the signed installer back");
        return false;
    }
    std::vector<uint8_t> head(65536), headB(65536);
    size_t headLength = a.Read(head.data(), head.size());
    size_t headLengthB = b.Read(headB.data(), headB.size());
    PeLayout layout;
    std::string why;
    if (!PeFile::Read(headB.data(), headLengthB, layout, why) || layout.certSize == 0) {
        Error("the signing tool left no certificate table" + (why.empty() ? std::string() : ": " + why));
        return false;
    }
    uint64_t position = 0;
    bool same = true;
    auto compare = [&](const uint8_t* x, const uint8_t* y, size_t n) {
        for (size_t k = 0; k < n; ++k, ++position) {
            bool ignored = (position >= layout.checksumPos && position < layout.checksumPos + 4u) ||
                           (position >= layout.securityEntryPos && position < layout.securityEntryPos + 8u);
            if (!ignored && x[k] != y[k])
                same = false;
        }
    };
    // The first pieces were read above; then both files in step until the
    // unsigned one ends, then the rest of the signed one.
    uint64_t unsignedLength = headLength;
    uint64_t signedLength = headLengthB;
    same = headLength <= headLengthB;
    compare(head.data(), headB.data(), headLength < headLengthB ? headLength : headLengthB);
    while (same && headLength == head.size()) {
        headLength = a.Read(head.data(), head.size());
        headLengthB = b.Read(headB.data(), headLength);
        unsignedLength += headLength;
        signedLength += headLengthB;
        same = same && headLengthB == headLength;
        compare(head.data(), headB.data(), headLength);
    }
    size_t n;
    while (same && (n = b.Read(headB.data(), headB.size())) > 0)
        signedLength += n;
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
    signedBytes_ = signedLength;
    return true;
}
