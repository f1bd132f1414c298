// Signer: gives a finished installer an Authenticode signature with
// osslsigncode. The signature's certificate table is appended to the file
// and covers everything before it, the payload included.
#pragma once
#include <string>

struct SignSettings {
    std::string tool = "osslsigncode"; // program to run
    std::string certificate;           // PEM or DER certificate (chain)
    std::string key;                   // the private key
    std::string passwordFile;          // optional: the key's password, in a file
    std::string timestampUrl;          // optional: an RFC 3161 time-stamping server

    bool Wanted() const { return !certificate.empty(); }
};

class Signer {
public:
    // Signs `in` into `out` (which may exist: it is replaced). `log` gets
    // what the tool printed; `error` says what went wrong.
    static bool Sign(const SignSettings& settings, const std::string& in, const std::string& out, std::string& log,
                     std::string& error);
};
