#include "tools/Signer.h"

#include <vector>

#include "tools/ChildProcess.h"
#include "tools/HostFile.h"

namespace {

std::string Quoted(const std::string& path)
{
#ifdef _WIN32
    return "\"" + path + "\""; // no quotes in Windows file names
#else
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

std::string Signer::ExpandCommand(const std::string& command, const std::string& in, const std::string& out)
{
    std::string line = command;
    ReplaceAll(line, "{in}", Quoted(in));
    ReplaceAll(line, "{out}", Quoted(out));
    return line;
}

bool Signer::Sign(const SignSettings& settings, const std::string& in, const std::string& out, std::string& log,
                  std::string& error)
{
    // The tools refuse to write over an existing file.
    HostFile::Remove(out);
    if (!settings.command.empty()) {
        // A tool that signs in place (signtool) gets a copy to sign.
        if (settings.command.find("{in}") == std::string::npos) {
            std::vector<uint8_t> bytes;
            HostFile copy;
            if (!HostFile::ReadAll(in, bytes, error) || !copy.Open(out, "wb") ||
                !copy.Write(bytes.data(), bytes.size()) || !copy.Close()) {
                error = "cannot copy " + in + " to " + out + (error.empty() ? "" : ": " + error);
                return false;
            }
        }
        std::string line = ExpandCommand(settings.command, in, out);
        int status = ChildProcess::RunShell(line, log);
        if (status != 0) {
            error = status < 0 ? log : "the signing command failed (exit status " + std::to_string(status) + "): " + line;
            return false;
        }
        return true;
    }
    std::vector<std::string> argv = {settings.tool, "sign"};
    if (!settings.pkcs12.empty()) {
        argv.insert(argv.end(), {"-pkcs12", settings.pkcs12});
    } else {
        argv.insert(argv.end(), {"-certs", settings.certificate, "-key", settings.key});
    }
    argv.insert(argv.end(), {"-h", "sha256"});
    if (!settings.passwordFile.empty())
        argv.insert(argv.end(), {"-readpass", settings.passwordFile});
    if (!settings.description.empty())
        argv.insert(argv.end(), {"-n", settings.description});
    if (!settings.url.empty())
        argv.insert(argv.end(), {"-i", settings.url});
    if (!settings.timestampUrl.empty())
        argv.insert(argv.end(), {"-ts", settings.timestampUrl});
    argv.insert(argv.end(), {"-in", in, "-out", out});
    int status = ChildProcess::Run(argv, log);
    if (status != 0) {
        error = status < 0 ? log : settings.tool + " failed (exit status " + std::to_string(status) + ")";
        return false;
    }
    return true;
}
