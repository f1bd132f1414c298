// qm-build: makes a self-extracting installer from the launcher stub and a
// folder. See --help, and docs/format.md for the file it writes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/BuildOptions.h"
#include "tools/Builder.h"
#include "tools/Inspector.h"
#include "tools/NameCodec.h"

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

int Main(const std::vector<std::string>& args)
{
    BuildOptions options;
    std::string error;
    if (!BuildOptions::Parse(args, options, error)) {
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
    if (options.mode != BuildOptions::Build) {
        Inspector inspector;
        bool sound = inspector.Read(options.installerFile);
        if (options.mode == BuildOptions::List) {
            NameCodec codec;
            std::fputs(inspector.Listing(codec).c_str(), stdout);
        }
        if (!sound) {
            std::fprintf(stderr, "qm-build: %s: %s\n", options.installerFile.c_str(), inspector.Fault().c_str());
            return Builder::kFailure;
        }
        if (options.mode == BuildOptions::Verify && options.verbosity != BuildOptions::Quiet) {
            size_t files = 0;
            for (const InspectedEntry& e : inspector.Entries())
                files += e.folder ? 0 : 1;
            std::printf("qm-build: %s: sound: %zu files and %zu folders, every check line matches\n",
                        options.installerFile.c_str(), files, inspector.Entries().size() - files);
        }
        return Builder::kSuccess;
    }
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
