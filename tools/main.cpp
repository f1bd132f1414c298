// qm-build: makes a self-extracting installer from the launcher stub and a
// folder. See --help, and docs/format.md for the file it writes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/BuildOptions.h"
#include "tools/Builder.h"
#include "tools/Extractor.h"
#include "tools/HostFolder.h"
#include "tools/Inspector.h"
#include "tools/NameCodec.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#ifdef _WIN32
#include <windows.h>

#include "tools/WideText.h"

namespace {

// Messages are UTF-8; the console shows them as such while the tool runs.
class ConsoleCodePage {
public:
    ConsoleCodePage() : saved_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
    ~ConsoleCodePage()
    {
        if (saved_ != 0)
            SetConsoleOutputCP(saved_);
    }
    ConsoleCodePage(const ConsoleCodePage&) = delete;
    ConsoleCodePage& operator=(const ConsoleCodePage&) = delete;

private:
    UINT saved_;
};

} // namespace
#endif

namespace {

// --list, --verify, --extract.
int LookInto(const BuildOptions& options)
{
    const char* installer = options.installerFile.c_str();
    Inspector inspector;
    NameCodec codec;
    // Checked whole first: a damaged installer writes nothing, not even a
    // listing (the fault names the entry at or after which it lies).
    if (!inspector.Read(options.installerFile)) {
        std::fprintf(stderr, "qm-build: %s: %s\n", installer, inspector.Fault(codec).c_str());
        return Builder::kFailure;
    }
    if (options.mode == BuildOptions::List) {
        std::fputs(inspector.Listing(codec).c_str(), stdout);
        return Builder::kSuccess;
    }
    if (options.mode == BuildOptions::Extract) {
        Extractor extractor(codec, Inspector::kArchiveRoot);
        if (!extractor.Begin(options.extractTo)) {
            std::fprintf(stderr, "qm-build: %s\n", extractor.Error().c_str());
            return Builder::kFailure;
        }
        // Read again, writing: the installer may have changed meanwhile.
        if (!inspector.Read(options.installerFile, &extractor) || !extractor.Finish()) {
            const std::string removed = extractor.Discard();
            std::fprintf(stderr, "qm-build: %s: %s%s%s\n", installer,
                         extractor.Error().empty() ? inspector.Fault(codec).c_str() : extractor.Error().c_str(),
                         removed.empty() ? "" : "; removed ", removed.c_str());
            std::fprintf(stderr, "qm-build: %s holds what was unpacked before that\n", options.extractTo.c_str());
            return Builder::kFailure;
        }
    }
    const char* done = options.mode == BuildOptions::Extract ? "unpacked" : "read";
    const uint32_t files = inspector.Files();
    const size_t folders = inspector.Entries().size() - files;
    if (inspector.CheckedFiles() < files) {
        // Readable, but not every file's content could be checked: not
        // "sound", whatever the verbosity.
        std::fprintf(stderr,
                     "qm-build: %s: unchecked: %u files and %zu folders %s, but only %u files have a check "
                     "line; the content of the other %u could not be checked\n",
                     installer, files, folders, done, inspector.CheckedFiles(), files - inspector.CheckedFiles());
        return Builder::kUnchecked;
    }
    if (options.verbosity == BuildOptions::Quiet)
        return Builder::kSuccess;
    if (options.mode == BuildOptions::Extract)
        std::printf("qm-build: %s: unpacked into %s: %u files and %zu folders, every check line matches\n", installer,
                    options.extractTo.c_str(), files, folders);
    else
        std::printf("qm-build: %s: sound: %u files and %zu folders, every check line matches\n", installer, files,
                    folders);
    return Builder::kSuccess;
}

// The stub installed with this program (QM_STUB_FROM_BIN from the
// program's folder, as "cmake --install" lays them out), or empty when
// there is none.
std::string InstalledStub()
{
    std::string program;
#ifdef _WIN32
    wchar_t path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    if (n == 0 || n >= sizeof path / sizeof path[0])
        return std::string();
    program = WideText::ToUtf8(path, static_cast<int>(n));
#else
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path)
        return std::string();
    program.assign(path, static_cast<size_t>(n));
#endif
    std::string stub = HostFolder::Join(HostFolder::Parent(program), QM_STUB_FROM_BIN);
    return HostFolder::KindOf(stub) == HostEntry::File ? stub : std::string();
}

int Main(const std::vector<std::string>& args)
{
    BuildOptions options;
    std::string error;
    if (!BuildOptions::Parse(args, options, error, InstalledStub())) {
        std::fprintf(stderr, "qm-build: %s\nTry 'qm-build --help'.\n", error.c_str());
        return Builder::kUsage;
    }
    if (options.help) {
        std::fputs(BuildOptions::Usage(), stdout);
        return Builder::kSuccess;
    }
    if (options.version) {
        std::puts("qm-build " QM_VERSION);
        return Builder::kSuccess;
    }
    if (options.mode != BuildOptions::Build)
        return LookInto(options);
    // Set but empty counts as not set, as the convention has it.
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch != nullptr)
        options.sourceDateEpoch = epoch;
    Builder builder(options);
    return builder.Run();
}

} // namespace

#ifdef _WIN32
// Wide arguments, so that names outside the ANSI code page arrive intact.
int wmain(int argc, wchar_t** argv)
{
    ConsoleCodePage console;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(WideText::ToUtf8(argv[i]));
    return Main(args);
}
#else
int main(int argc, char** argv)
{
    return Main(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
