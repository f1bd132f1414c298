// Signer: gives a finished installer an Authenticode signature with
// osslsigncode. The signature's certificate table is appended to the file
// and covers everything before it, the payload included.
#pragma once
#include <string>

struct SignSettings {
    std::string tool = "osslsigncode"; // program to run
    std::string certificate;           // PEM or DER certificate (chain)
    std::string key;                   // the private key
    std::string pkcs12;                // or both in one PKCS#12 (.pfx) file
    std::string passwordFile;          // optional: the key's password, in a file
    std::string timestampUrl;          // optional: an RFC 3161 time-stamping server
    std::string description;           // optional: the signature's description (-n)
    std::string url;                   // optional: its URL (-i)
    // Instead of osslsigncode: a command for the shell, {in} and {out}
    // standing for the quoted file names.
    std::string command;

    bool Wanted() const { return !certificate.empty() || !pkcs12.empty() || !command.empty(); }
};

class Signer {
public:
    // The signing command with {in} and {out} replaced by the quoted names
    // (for the POSIX shell or cmd.exe). Public for tests.
    static std::string ExpandCommand(const std::string& command, const std::string& in, const std::string& out);

    // Signs `in` into `out` (which may exist: it is replaced). `log` gets
    // what the tool printed; `error` says what went wrong.
    static bool Sign(const SignSettings& settings, const std::string& in, const std::string& out, std::string& log,
                     std::string& error);
};
