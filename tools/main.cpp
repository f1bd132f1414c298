// qm-build: makes a self-extracting installer from the launcher stub and a
// folder. See --help, and docs/format.md for the file it writes.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/BuildOptions.h"
#include "tools/Builder.h"

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
