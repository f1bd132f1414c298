// SystemPath: a path of the program's (a byte text) in the form that the
// Windows functions given it need on this system, and those functions.
//
// The program's paths are Shift-JIS texts (code page 932): the payload's
// names are stored so. Where the system's ANSI code page is 932 and the
// user's application-data folder, the program's own path and its command
// line can be written in it, the bytes go to the ANSI functions as they
// are. Anywhere else (another code page, UTF-8 included; or a user folder,
// a folder the program was started from or an argument it was given with a
// character that the ANSI code page lacks) the ANSI functions would garble
// them, so every path is converted from code page 932 to UTF-16 here, at
// the boundary, and the wide function is called. That choice is made once
// per process, and this is the one place that makes it and that converts.
//
// On the wide route, text that Windows gives back (the application-data
// folder, the program's own path, the names a search finds) may hold
// characters that code page 932 lacks. It is kept in the same byte texts,
// ASCII as it is and every other UTF-16 unit escaped (support/EscapedUnit.h),
// a form that the Shift-JIS rules of the path code read as they read
// Shift-JIS.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "support/RCAnsiStr.h"

class SystemPath {
public:
    // The code page of the program's texts.
    static constexpr UINT kCodePage = 932;

    // Whether this process gives its paths to the wide functions; decided
    // on the first call: not on code page 932 (where code page 932 is there
    // to convert from), or where the user's folder, the program's own path
    // or its command line cannot be held there.
    static bool IsWide();
    // Whether every function of the route is there (kernel32 has them on
    // every supported Windows; the stub checks it at start-up). Decides
    // the route; shell32 must be at hand.
    static bool Ready();
    // From here on the wide route, whatever was decided: for names that
    // only the wide functions can make (escaped units, read from a payload
    // whose names are UTF-8). The paths made on the ANSI route so far are
    // Shift-JIS there, the same text on either route. Where code page 932
    // is missing it cannot be taken (the paths so far are in the ANSI code
    // page, which nothing converts): the ANSI route stays, and names that
    // hold escaped units fail there as names with control characters do.
    // Only while no SystemPath lives, which took its route when it was made.
    static void RequireWide();

    // Converts length bytes of code page 932 (-1: up to and with the
    // terminator) into room units at into (none: only counts): the one
    // conversion of the program's texts and paths. The units made; 0 when
    // a byte sequence is not code page 932 or code page 932 is missing.
    static int ToWide(const char* text, int length, wchar_t* into, int room);
    // Whether code page 932 assigns every character of text. A pair of the
    // right form may still be unassigned (0x85 0x40). Where code page 932
    // is missing nothing can be told, and every text passes.
    static bool IsShiftJis(const char* text);

    // path (the program's byte form) in UTF-16 whatever the route: the
    // form to compare with what the wide functions give. A path that is
    // not valid code page 932 becomes "|", which names nothing.
    static std::unique_ptr<wchar_t[]> Widen(const char* path);

    // A null text counts as the empty one.
    explicit SystemPath(const char* path);
    ~SystemPath();
    SystemPath(const SystemPath&) = delete;
    SystemPath& operator=(const SystemPath&) = delete;

    // The Windows functions on this path (their A or W forms; the names
    // keep clear of the windows.h macros). On the wide route a path that is
    // not valid code page 932 reaches none of them: they fail on it as on a
    // name with "|" in it.
    HANDLE Open(DWORD access, DWORD sharing, DWORD disposition, DWORD flags) const; // CreateFile
    DWORD Attributes() const;       // GetFileAttributes
    bool SetAttributes(DWORD attributes) const; // SetFileAttributes
    bool MakeFolder() const;        // CreateDirectory
    bool RemoveFolder() const;      // RemoveDirectory
    bool RemoveFile() const;        // DeleteFile
    // The attributes of the first entry that a search for this path finds
    // (FindFirstFile, FindClose); INVALID_FILE_ATTRIBUTES when none.
    DWORD FirstFoundAttributes() const;
    // A search (FindFirstFile, FindNextFile): data without its names, the
    // found name in name.
    HANDLE FindFirst(WIN32_FIND_DATAA& data, RCAnsiStr& name) const;
    static bool FindNext(HANDLE search, WIN32_FIND_DATAA& data, RCAnsiStr& name);
    // The C runtime's fopen (mode: ASCII, as "rb").
    std::FILE* OpenStream(const char* mode) const;
    // This path as a command line (CreateProcess without an application
    // name, no handles inherited, the launcher's own environment), in
    // folder, with the given show mode.
    bool StartProcess(const SystemPath& folder, WORD show, PROCESS_INFORMATION& created) const;
    // This path as a file started through the shell (ShellExecuteEx) with
    // the verb and parameters (a text of the program's, like a path), in
    // folder, keeping its process handle.
    bool StartThroughShell(HWND owner, ULONG mask, const char* verb, const char* parameters,
                           const SystemPath& folder, WORD show, HANDLE& process) const;

    // How many UTF-16 units this text is where Windows takes it.
    int32_t Units() const;

    // Texts that Windows gives (empty when it cannot): the program's own
    // file, its command line and the file-system path of a shell folder.
    static void ModuleFile(RCAnsiStr& into);
    static void CommandLine(RCAnsiStr& into);
    static void SpecialFolder(int32_t folder, RCAnsiStr& into);

private:
    const char* bytes_;
    std::unique_ptr<wchar_t[]> wide_; // on the wide route, else null
    const void* text_;                // what the functions get: bytes_ or wide_
    FARPROC const* functions_;        // the route's kernel32 functions
};
