// SystemError: the one form in which the tools say why the system refused
// something. Every message puts it last, after ": ", as in
//   "cannot open dist/a.txt: Permission denied"
//   "cannot list C:\dist: Access is denied (Windows error 5)"
// On POSIX hosts it is strerror's text; on Windows the system's own text
// (in the system's language) with the error number, which finds the text
// in any language.
#pragma once
#include <cstdint>
#include <string>

class SystemError {
public:
    // The calling thread's last error: errno on POSIX hosts, GetLastError()
    // on Windows (where the C runtime's file calls leave it set as well).
    // Read it right after the call that failed: another call may change it.
    static std::string Last();
    // An error number kept from before: an errno value, or what a POSIX call
    // returned (posix_spawn); on Windows a GetLastError() value.
    static std::string Of(uint32_t code);
};
