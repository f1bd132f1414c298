#include "tools/BuildOptions.h"

#include <set>

namespace {

using Setter = bool (*)(BuildOptions& o, const std::string& value, std::string& error);

// Which actions an option goes with.
enum Actions : unsigned {
    kMaking = 1u << BuildOptions::Build,
    kLooking = 1u << BuildOptions::List | 1u << BuildOptions::Verify | 1u << BuildOptions::Extract,
    kAny = kMaking | kLooking,
};

struct Option {
    const char* name; // long form
    char letter;      // short form, or 0
    bool takesValue;
    unsigned actions; // Actions it goes with; anything else refuses it
    Setter set;
};

bool Level(BuildOptions& o, const std::string& value, std::string& error)
{
    if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
        error = "--level takes a number from 0 to 9, not " + value;
        return false;
    }
    o.level = value[0] - '0';
    return true;
}

#define QM_TEXT(field) [](BuildOptions& o, const std::string& v, std::string&) { o.field = v; return true; }
#define QM_FLAG(statement) [](BuildOptions& o, const std::string&, std::string&) { statement; return true; }
#define QM_LOOK(action, field) \
    [](BuildOptions& o, const std::string& v, std::string&) { o.mode = BuildOptions::action; o.field = v; return true; }

const Option kOptions[] = {
    {"--stub", 0, true, kMaking, QM_TEXT(stub)},
    {"--source", 0, true, kMaking, QM_TEXT(source)},
    {"--installer", 0, true, kMaking, QM_TEXT(installer)},
    {"--output", 'o', true, kMaking, QM_TEXT(output)},
    {"--level", 0, true, kMaking, Level},
    {"--keep-access-times", 0, false, kMaking, QM_FLAG(o.keepAccessTimes = true)},
    {"--werror", 0, false, kMaking, QM_FLAG(o.warningsAreErrors = true)},
    {"--list", 0, true, kAny, QM_LOOK(List, installerFile)},
    {"--verify", 0, true, kAny, QM_LOOK(Verify, installerFile)},
    {"--extract", 0, true, kAny, QM_LOOK(Extract, extractTo)},
    {"--sign-cert", 0, true, kMaking, QM_TEXT(sign.certificate)},
    {"--sign-key", 0, true, kMaking, QM_TEXT(sign.key)},
    {"--sign-pkcs12", 0, true, kMaking, QM_TEXT(sign.pkcs12)},
    {"--sign-pass-file", 0, true, kMaking, QM_TEXT(sign.passwordFile)},
    {"--sign-description", 0, true, kMaking, QM_TEXT(sign.description)},
    {"--sign-url", 0, true, kMaking, QM_TEXT(sign.url)},
    {"--timestamp-url", 0, true, kMaking, QM_TEXT(sign.timestampUrl)},
    {"--sign-tool", 0, true, kMaking, QM_TEXT(sign.tool)},
    {"--sign-command", 0, true, kMaking, QM_TEXT(sign.command)},
    {"--quiet", 'q', false, kAny, QM_FLAG(o.verbosity = BuildOptions::Quiet)},
    {"--verbose", 'v', false, kMaking, QM_FLAG(o.verbosity = BuildOptions::Verbose)},
    {"--help", 'h', false, kAny, QM_FLAG(o.help = true)},
    {"--version", 0, false, kAny, QM_FLAG(o.version = true)},
};

#undef QM_TEXT
#undef QM_FLAG
#undef QM_LOOK

const Option* FindLong(const std::string& name)
{
    for (const Option& o : kOptions) {
        if (name == o.name)
            return &o;
    }
    return nullptr;
}

const Option* FindShort(char letter)
{
    for (const Option& o : kOptions) {
        if (o.letter != 0 && o.letter == letter)
            return &o;
    }
    return nullptr;
}

const char* ModeOption(BuildOptions::Mode mode)
{
    return mode == BuildOptions::List ? "--list" : mode == BuildOptions::Verify ? "--verify" : "--extract";
}

} // namespace

const char* BuildOptions::Usage()
{
    return "Usage: qm-build [--stub FILE] --source DIR --installer NAME --output FILE [options]\n"
           "       qm-build --list INSTALLER\n"
           "       qm-build --verify INSTALLER\n"
           "       qm-build --extract DIR INSTALLER\n"
           "\n"
           "Makes a self-extracting installer: the launcher stub followed by the\n"
           "folder DIR as a compressed payload. The stub is quillimark-stub.exe, built\n"
           "from this project's launcher/ (the win32 preset). When the installer runs,\n"
           "it unpacks DIR into a fresh work folder under the user's application-data\n"
           "folder, starts NAME from there with the switch /quillimarkmode, waits for\n"
           "it, removes the work folder, and restarts Windows when NAME exits with\n"
           "code 3386.\n"
           "\n"
           "  --stub FILE           the launcher stub (unsigned); by default the one\n"
           "                        installed with qm-build, BIN/" QM_STUB_FROM_BIN "\n"
           "  --source DIR          the folder to pack\n"
           "  --installer NAME      the program to run, a file at the top of DIR\n"
           "                        (at most 24 bytes in Shift-JIS)\n"
           "  -o, --output FILE     the installer to write (replaced when complete; an\n"
           "                        existing output must be a regular file, not the stub)\n"
           "      --level N         zlib compression level, 1 (fast) to 9 (small),\n"
           "                        or 0 to store (for content compressed already);\n"
           "                        default 6\n"
           "      --keep-access-times  store last-access times as found (by default the\n"
           "                        last-write time is stored, so that builds repeat)\n"
           "      --werror          treat warnings (paths that may be too long) as errors\n"
           "\n"
           "Signing (Authenticode, SHA-256, of the whole installer):\n"
           "      --sign-cert FILE  certificate (PEM or DER) ...\n"
           "      --sign-key FILE   ... and its private key, or\n"
           "      --sign-pkcs12 FILE  certificate and key in one PKCS#12 (.pfx) file\n"
           "      --sign-pass-file FILE  the key's password, read from FILE\n"
           "      --sign-description TEXT  description shown by Windows (-n)\n"
           "      --sign-url URL    URL shown with the description (-i)\n"
           "      --timestamp-url URL  time-stamp at this RFC 3161 server\n"
           "      --sign-tool PROGRAM  osslsigncode to use (default: osslsigncode)\n"
           "      --sign-command TEMPLATE  sign with any tool instead: TEMPLATE is run\n"
           "                        through the shell with {in} and {out} replaced by\n"
           "                        the quoted file names (signtool signs in place:\n"
           "                        \"signtool sign /fd sha256 /a {out}\"; when {in} is\n"
           "                        missing, {out} starts as a copy of the unsigned file)\n"
           "\n"
           "Looking into an installer (made by any builder that follows the format):\n"
           "      --list INSTALLER  print the installer name, the payload offset, the\n"
           "                        names' encoding and every entry: path, size,\n"
           "                        attributes, times; nothing but the fault when it\n"
           "                        cannot be read whole\n"
           "      --verify INSTALLER  read the whole payload as the launcher does and\n"
           "                        check every file against its check line; \"sound\"\n"
           "                        only when every file has one and it matches\n"
           "      --extract DIR INSTALLER  check the payload as --verify does, then\n"
           "                        unpack it into DIR, a new folder (its parent must\n"
           "                        exist) or an empty one: names from Shift-JIS or\n"
           "                        UTF-8, times and attributes where this system can\n"
           "                        set them.\n"
           "                        Nothing is written outside DIR: unsafe names are\n"
           "                        refused as the launcher refuses them, links are\n"
           "                        never followed, and a file whose check line fails\n"
           "                        is removed\n"
           "\n"
           "  -q, --quiet           print errors only\n"
           "  -v, --verbose         list every entry as it is packed\n"
           "  -h, --help            show this text\n"
           "      --version         show the version\n"
           "\n"
           "Environment: SOURCE_DATE_EPOCH (seconds since 1970): no stored time is\n"
           "later than it. The same folder, stub and options give the same bytes.\n"
           "\n"
           "The payload (docs/format.md): a zlib stream of records; every file is\n"
           "followed by a check line, \"C\" and the CRC-32 of its content in 8\n"
           "hexadecimal digits, and the archive's first line \"C\" says so; a size line\n"
           "is plain decimal digits from 0 to 2147483647. The launcher refuses a file\n"
           "that does not match its check line, and the installer program never starts.\n"
           "Names are in Shift-JIS (code page 932) when every name of DIR can be\n"
           "written so, the payload of older builders byte for byte; otherwise all of\n"
           "them are in UTF-8, and the line \"NUTF-8\" after the first says so, which\n"
           "only a stub that knows it reads (the installer name stays Shift-JIS).\n"
           "\n"
           "Exit status: 0 when the installer was written, or --verify found it sound,\n"
           "or --extract unpacked a sound payload; 1 when the input was refused,\n"
           "writing failed (nothing is left behind) or the installer is damaged; 2 on\n"
           "a usage error; 3 when --verify read (or --extract unpacked) the whole\n"
           "payload but some files (older installers: all) have no check line, so\n"
           "that their content could not be checked.\n";
}

bool BuildOptions::Parse(const std::vector<std::string>& args, BuildOptions& options, std::string& error,
                         const std::string& defaultStub)
{
    options = BuildOptions();
    std::set<const Option*> given;
    // Applies one option; `value` is its value when it takes one.
    auto apply = [&](const Option& o, const std::string& value) {
        if (o.takesValue && value.empty()) {
            error = std::string(o.name) + " needs a value";
            return false;
        }
        if (!given.insert(&o).second && o.takesValue) {
            error = std::string(o.name) + " given twice";
            return false;
        }
        return o.set(options, value, error);
    };
    bool optionsEnded = false;
    std::vector<std::string> operands; // arguments that are not options
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] == '-') {
            size_t eq = arg.find('=');
            std::string name = arg.substr(0, eq);
            const Option* o = FindLong(name);
            if (o == nullptr) {
                error = "unknown option " + name;
                return false;
            }
            std::string value;
            if (eq != std::string::npos) {
                if (!o->takesValue) {
                    error = name + " takes no value";
                    return false;
                }
                value = arg.substr(eq + 1);
            } else if (o->takesValue) {
                if (i + 1 >= args.size()) {
                    error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!apply(*o, value))
                return false;
            continue;
        }
        // Short options, combined: the one that takes a value takes the
        // rest of the argument, or the next argument.
        for (size_t k = 1; k < arg.size(); ++k) {
            const Option* o = FindShort(arg[k]);
            if (o == nullptr) {
                error = std::string("unknown option -") + arg[k];
                return false;
            }
            std::string value;
            if (o->takesValue) {
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    error = std::string(o->name) + " needs a value";
                    return false;
                }
                k = arg.size();
            }
            if (!apply(*o, value))
                return false;
        }
    }
    if (options.mode == Extract && operands.size() == 1) {
        options.installerFile = operands[0];
    } else if (!operands.empty()) {
        error = "unexpected argument " + operands[options.mode == Extract ? 1 : 0];
        return false;
    }
    if (options.help || options.version)
        return true;
    if (given.count(FindLong("--list")) + given.count(FindLong("--verify")) + given.count(FindLong("--extract")) > 1) {
        error = "--list, --verify and --extract go alone";
        return false;
    }
    if (options.mode == Extract && options.installerFile.empty()) {
        error = "--extract DIR needs the installer to unpack after it";
        return false;
    }
    // Nothing given is ignored: an option for making an installer does
    // not go with looking into one (every option goes with any action or
    // with making only).
    for (const Option* o : given) {
        if ((o->actions & 1u << options.mode) == 0) {
            error = std::string(o->name) + " is for making an installer, not with " + ModeOption(options.mode);
            return false;
        }
    }
    if (options.mode != Build)
        return true;
    if (options.stub.empty())
        options.stub = defaultStub;
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
    if (!s.pkcs12.empty() && (!s.certificate.empty() || !s.key.empty())) {
        error = "--sign-pkcs12 holds the certificate and the key: not with --sign-cert or --sign-key";
        return false;
    }
    if (s.certificate.empty() != s.key.empty()) {
        error = "--sign-cert and --sign-key go together";
        return false;
    }
    const bool osslsigncode = !s.certificate.empty() || !s.pkcs12.empty();
    if (osslsigncode && !s.command.empty()) {
        error = "--sign-command signs by itself: not with --sign-cert, --sign-key or --sign-pkcs12";
        return false;
    }
    if (!osslsigncode && (!s.passwordFile.empty() || !s.timestampUrl.empty() || !s.description.empty() ||
                          !s.url.empty() || given.count(FindLong("--sign-tool")) != 0)) {
        error = "--sign-pass-file, --sign-description, --sign-url, --timestamp-url and --sign-tool need "
                "--sign-cert and --sign-key, or --sign-pkcs12";
        return false;
    }
    return true;
}
