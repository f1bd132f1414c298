#include "tools/Signer.h"

#include <vector>

#include "tools/ChildProcess.h"
#include "tools/HostFile.h"

bool Signer::Sign(const SignSettings& settings, const std::string& in, const std::string& out, std::string& log,
                  std::string& error)
{
    std::vector<std::string> argv = {settings.tool, "sign", "-certs", settings.certificate, "-key", settings.key,
                                     "-h", "sha256"};
    if (!settings.passwordFile.empty()) {
        argv.push_back("-readpass");
        argv.push_back(settings.passwordFile);
    }
    if (!settings.timestampUrl.empty()) {
        argv.push_back("-ts");
        argv.push_back(settings.timestampUrl);
    }
    argv.push_back("-in");
    argv.push_back(in);
    argv.push_back("-out");
    argv.push_back(out);
    // The tool refuses to write over an existing file.
    HostFile::Remove(out);
    int status = ChildProcess::Run(argv, log);
    if (status != 0) {
        error = status < 0 ? log : settings.tool + " failed (exit status " + std::to_string(status) + ")";
        return false;
    }
    return true;
}
