// BuildOptions: the builder's command line.
#pragma once
#include <string>
#include <vector>

#include "tools/Signer.h"

struct BuildOptions {
    enum Verbosity { Quiet, Normal, Verbose };
    // What to do: make an installer (the default), or look into one.
    enum Mode { Build, List, Verify, Extract };

    Mode mode = Build;
    std::string installerFile; // List, Verify, Extract: the installer to read
    std::string extractTo;     // Extract: the folder to unpack into

    std::string stub;
    std::string source;
    std::string installer; // UTF-8, as given
    std::string output;
    SignSettings sign;
    Verbosity verbosity = Normal;
    // zlib's level when none is asked for: 9 costs several times the
    // processor time for payloads a little smaller (the measured figure:
    // README, "Making an installer").
    static constexpr int kDefaultLevel = 6;
    int level = kDefaultLevel;    // zlib level: 0 stores, 1 (fast) to 9 (small)
    bool keepAccessTimes = false; // store last-access times as found
    bool warningsAreErrors = false;
    std::string sourceDateEpoch;  // SOURCE_DATE_EPOCH from the environment, if set
    bool help = false;
    bool version = false;

    // args: the arguments after the program name, in UTF-8. Long options
    // take their value as the next argument or after "="; short options may
    // be combined ("-qo FILE", "-oFILE"); "--" ends the options. The one
    // argument that is not an option is the installer of --extract. False,
    // with a message, on anything unknown, missing or given twice, and on
    // an option that does not go with the action (--sign-url with --verify).
    // defaultStub: the stub to use when --stub is not given (the one
    // installed with the builder), or empty when there is none.
    static bool Parse(const std::vector<std::string>& args, BuildOptions& options, std::string& error,
                      const std::string& defaultStub = std::string());
    static const char* Usage();
};
