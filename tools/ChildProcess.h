// ChildProcess: runs a program with an argument list (no shell, so no
// quoting trouble on POSIX hosts), waits for it and collects what it wrote
// to its standard output and error.
#pragma once
#include <string>
#include <vector>

class ChildProcess {
public:
    // argv[0] is looked up in PATH when it holds no path separator.
    // Returns the exit status, or -1 (with `output` saying why) when the
    // program could not be started or did not end normally.
    static int Run(const std::vector<std::string>& argv, std::string& output);
    // The same for one command line given to the shell: /bin/sh -c on POSIX
    // hosts, cmd.exe /d /s /c on Windows.
    static int RunShell(const std::string& command, std::string& output);

    // The command line that Windows programs split back into argv: each
    // argument quoted as the C runtime's parser expects. Public for tests.
    static std::string QuoteForWindows(const std::vector<std::string>& argv);
};
