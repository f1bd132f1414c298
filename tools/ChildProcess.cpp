#include "tools/ChildProcess.h"

#include <cerrno>

#include "tools/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "support/WinHandle.h"
#include "tools/WideText.h"
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

std::string ChildProcess::QuoteForWindows(const std::vector<std::string>& argv)
{
    std::string line;
    for (const std::string& arg : argv) {
        if (!line.empty())
            line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += arg;
            continue;
        }
        // Backslashes are literal except before a quote: there they are
        // doubled, and the quote is escaped; the closing quote likewise.
        line += '"';
        size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"')
                line.append(backslashes * 2 + 1, '\\');
            else
                line.append(backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

#ifdef _WIN32

namespace {

// Runs one command line; `name` is for messages.
int RunLine(const std::string& commandLine, const std::string& name, std::string& output)
{
    output.clear();
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE ends[2] = {nullptr, nullptr};
    const bool piped = CreatePipe(&ends[0], &ends[1], &inherit, 0) != 0;
    OwnedHandle readEnd(ends[0]), writeEnd(ends[1]);
    if (!piped || !SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0)) {
        output = "cannot make a pipe: " + SystemError::Last();
        return -1;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd.Get();
    si.hStdError = writeEnd.Get();
    std::wstring line = WideText::FromUtf8(commandLine);
    PROCESS_INFORMATION pi{};
    if (line.empty() || !CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                        &si, &pi)) {
        output = "cannot start " + name + ": " + SystemError::Last();
        return -1;
    }
    OwnedHandle process(pi.hProcess), thread(pi.hThread);
    writeEnd.Close(); // the child holds the only write end now: EOF when it ends
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
        output.append(buffer, n);
    DWORD code = 0;
    if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), &code))
        return -1;
    return static_cast<int>(code);
}

} // namespace

int ChildProcess::Run(const std::vector<std::string>& argv, std::string& output)
{
    output.clear();
    if (argv.empty())
        return -1;
    return RunLine(QuoteForWindows(argv), argv[0], output);
}

int ChildProcess::RunShell(const std::string& command, std::string& output)
{
    // /s: cmd.exe takes what lies between the first and the last quote as
    // it stands, quotes inside included.
    return RunLine("cmd.exe /d /s /c \"" + command + "\"", "cmd.exe", output);
}

#else

namespace {

class Fd {
public:
    Fd() = default;
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int* Out() { return &fd_; }
    int Get() const { return fd_; }
    void Reset()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

class SpawnActions {
public:
    SpawnActions() { ready_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions()
    {
        if (ready_)
            posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool Ready() const { return ready_; }
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    bool ready_ = false;
};

} // namespace

int ChildProcess::Run(const std::vector<std::string>& argv, std::string& output)
{
    output.clear();
    if (argv.empty())
        return -1;
    int ends[2];
    if (pipe(ends) != 0) {
        output = "cannot make a pipe: " + SystemError::Last();
        return -1;
    }
    Fd readEnd, writeEnd;
    *readEnd.Out() = ends[0];
    *writeEnd.Out() = ends[1];
    SpawnActions actions;
    if (!actions.Ready() || posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), 1) != 0 ||
        posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), 2) != 0 ||
        posix_spawn_file_actions_addclose(actions.Get(), readEnd.Get()) != 0) {
        output = "cannot prepare the child's output";
        return -1;
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), environ);
    if (rc != 0) {
        output = "cannot start " + argv[0] + ": " + SystemError::Of(static_cast<uint32_t>(rc));
        return -1;
    }
    writeEnd.Reset(); // the child holds the only write end now: EOF when it ends
    char buffer[4096];
    for (;;) {
        ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (!WIFEXITED(status)) {
        output += "\n" + argv[0] + " did not end normally";
        return -1;
    }
    return WEXITSTATUS(status);
}

int ChildProcess::RunShell(const std::string& command, std::string& output)
{
    return Run({"/bin/sh", "-c", command}, output);
}

#endif
