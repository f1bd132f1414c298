#include "tools/BuildOptions.h"

#include <set>

namespace {

struct ValueOption {
    const char* name;
    std::string BuildOptions::*field;
};

struct SignOption {
    const char* name;
    std::string SignSettings::*field;
};

const ValueOption kValues[] = {
    {"--stub", &BuildOptions::stub},
    {"--source", &BuildOptions::source},
    {"--installer", &BuildOptions::installer},
    {"--output", &BuildOptions::output},
};

const SignOption kSignValues[] = {
    {"--sign-cert", &SignSettings::certificate},
    {"--sign-key", &SignSettings::key},
    {"--sign-pass-file", &SignSettings::passwordFile},
    {"--timestamp-url", &SignSettings::timestampUrl},
    {"--sign-tool", &SignSettings::tool},
};

} // namespace

const char* BuildOptions::Usage()
{
    return "Usage: qm-build --stub FILE --source DIR --installer NAME --output FILE [options]\n"
           "\n"
           "Makes a self-extracting installer: the launcher stub followed by the\n"
           "folder DIR as a compressed payload. When the installer runs, it unpacks\n"
           "DIR into a work folder and starts the program NAME from there.\n"
           "\n"
           "  --stub FILE           the launcher stub (unsigned)\n"
           "  --source DIR          the folder to pack\n"
           "  --installer NAME      the program to run, a file at the top of DIR\n"
           "                        (at most 24 bytes in Shift-JIS)\n"
           "  --output FILE         the installer to write (replaced when complete)\n"
           "  --sign-cert FILE      sign the installer with this certificate (PEM or DER)\n"
           "  --sign-key FILE       ... and this private key\n"
           "  --sign-pass-file FILE the key's password, read from FILE\n"
           "  --timestamp-url URL   time-stamp the signature at this RFC 3161 server\n"
           "  --sign-tool PROGRAM   the signing program (default: osslsigncode)\n"
           "  -q, --quiet           print errors only\n"
           "  -v, --verbose         list every entry and sum up at the end\n"
           "  -h, --help            show this text\n"
           "      --version         show the version\n"
           "\n"
           "Exit status: 0 when the installer was written, 1 when the input was\n"
           "refused or writing failed (nothing is left behind), 2 on a usage error.\n";
}

bool BuildOptions::Parse(const std::vector<std::string>& args, BuildOptions& options, std::string& error)
{
    options = BuildOptions();
    std::set<std::string> given;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "-q" || arg == "--quiet" || arg == "-v" || arg == "--verbose") {
            options.verbosity = (arg == "-q" || arg == "--quiet") ? Quiet : Verbose;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        std::string* target = nullptr;
        for (const ValueOption& o : kValues) {
            if (name == o.name)
                target = &(options.*o.field);
        }
        for (const SignOption& o : kSignValues) {
            if (name == o.name)
                target = &(options.sign.*o.field);
        }
        if (target == nullptr) {
            error = arg.compare(0, 1, "-") == 0 ? "unknown option " + arg : "unexpected argument " + arg;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (value.empty()) {
            error = name + " needs a value";
            return false;
        }
        if (!given.insert(name).second) {
            error = name + " given twice";
            return false;
        }
        *target = value;
    }
    if (options.help || options.version)
        return true;
    const char* missing = options.stub.empty()        ? "--stub"
                          : options.source.empty()    ? "--source"
                          : options.installer.empty() ? "--installer"
                          : options.output.empty()    ? "--output"
                                                      : nullptr;
    if (missing != nullptr) {
        error = std::string(missing) + " is required";
        return false;
    }
    const SignSettings& s = options.sign;
    if (s.certificate.empty() != s.key.empty()) {
        error = "--sign-cert and --sign-key go together";
        return false;
    }
    if (s.certificate.empty() && (!s.passwordFile.empty() || !s.timestampUrl.empty() || given.count("--sign-tool") != 0)) {
        error = "--sign-pass-file, --timestamp-url and --sign-tool need --sign-cert and --sign-key";
        return false;
    }
    return true;
}
