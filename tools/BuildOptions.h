// BuildOptions: the builder's command line.
#pragma once
#include <string>
#include <vector>

#include "tools/Signer.h"

struct BuildOptions {
    enum Verbosity { Quiet, Normal, Verbose };

    std::string stub;
    std::string source;
    std::string installer; // UTF-8, as given
    std::string output;
    SignSettings sign;
    Verbosity verbosity = Normal;
    bool help = false;
    bool version = false;

    // args: the arguments after the program name, in UTF-8. Long options
    // take their value as the next argument or after "=". False, with a
    // message, on anything unknown, missing or given twice.
    static bool Parse(const std::vector<std::string>& args, BuildOptions& options, std::string& error);
    static const char* Usage();
};
