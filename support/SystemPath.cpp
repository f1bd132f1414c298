#include "support/SystemPath.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "support/EscapedUnit.h"
#include "support/PathFunctionNames.h"
#include "support/ProcAddress.h"

namespace {

// What a path that is not valid code page 932 becomes on the wide route:
// "|" is refused in every name, so every function fails on it.
constexpr wchar_t kRefused = L'|';

// The kernel32 functions that take a path (support/PathFunctionNames.h).
// Their A and W forms differ only in the type of their texts, so each is
// named once, the route adds the letter, and it is called through one
// pointer type with untyped texts: one call for both routes. In the order
// of the names.
enum Function : int32_t {
    kCreateDirectory,
    kCreateFile,
    kCreateProcess,
    kDeleteFile,
    kFindFirstFile,
    kFindNextFile,
    kGetFileAttributes,
    kGetModuleFileName,
    kRemoveDirectory,
    kSetFileAttributes,
    kFunctionCount
};

using CreateDirectoryFn = BOOL(WINAPI*)(const void*, LPSECURITY_ATTRIBUTES);
using CreateFileFn = HANDLE(WINAPI*)(const void*, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using CreateProcessFn = BOOL(WINAPI*)(const void*, void*, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                      LPVOID, const void*, void*, LPPROCESS_INFORMATION);
using TextFn = BOOL(WINAPI*)(const void*); // DeleteFile, RemoveDirectory
using FindFirstFn = HANDLE(WINAPI*)(const void*, void*);
using FindNextFn = BOOL(WINAPI*)(HANDLE, void*);
using GetAttributesFn = DWORD(WINAPI*)(const void*);
using ModuleFileFn = DWORD(WINAPI*)(HMODULE, void*, DWORD);
using SetAttributesFn = BOOL(WINAPI*)(const void*, DWORD);

static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == offsetof(WIN32_FIND_DATAW, cFileName),
              "the find data agree up to the names");
static_assert(sizeof(STARTUPINFOA) == sizeof(STARTUPINFOW), "the start-up records agree but for texts");

// The route and its functions, decided and looked up once for the whole
// process: every path must take the same route, and the answer cannot
// change while it runs.
enum State : int8_t { kUndecided = 0, kAnsi, kWide, kMissing };
struct Route {
    State state;
    FARPROC functions[kFunctionCount];
};
Route route; // zero: undecided

// The file-system path of a shell folder; empty when there is none.
void WideFolder(int32_t folder, wchar_t* buffer)
{
    if (FAILED(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        buffer[0] = L'\0';
}

// Into the ANSI code page; false when a character is not in it (or it
// does not fit).
bool ToAnsi(const wchar_t* text, char* bytes, int size)
{
    BOOL lost = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, bytes, size, nullptr, &lost) != 0 && !lost;
}

// Whether code page 932 is there to convert from: even a lone NUL
// converts only then.
__attribute__((noinline)) bool CodePageThere()
{
    const char nul = '\0';
    return SystemPath::ToWide(&nul, 1, nullptr, 0) > 0;
}

// Whether the ANSI code page holds text exactly (only measured).
bool AnsiHolds(const wchar_t* text)
{
    BOOL lost = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lost) != 0 && !lost;
}

// Looked up by name: a wide import at load time is not the stub's.
using WideModuleFileFn = DWORD(WINAPI*)(HMODULE, LPWSTR, DWORD);
using WideCommandLineFn = LPWSTR(WINAPI*)();

const wchar_t* WideCommandLine()
{
    const WideCommandLineFn commandLine = KernelFunction<WideCommandLineFn>("GetCommandLineW");
    return commandLine != nullptr ? commandLine() : L"";
}

bool DecideWide()
{
    // Without code page 932 (an older Western Windows without East Asian
    // support) nothing converts: the ANSI functions, as ever.
    if (GetACP() != SystemPath::kCodePage)
        return CodePageThere();
    // On code page 932 the user's folder may still hold a character that
    // the code page lacks (a user name in another script), and so may the
    // folder that the program was started from (a download folder named in
    // another script) and the arguments it was given: the ANSI functions
    // would give them with "?" in them.
    wchar_t path[MAX_PATH + 1] = {};
    WideFolder(CSIDL_APPDATA, path);
    if (!AnsiHolds(path))
        return true;
    const WideModuleFileFn moduleFile = KernelFunction<WideModuleFileFn>("GetModuleFileNameW");
    if (moduleFile != nullptr && moduleFile(nullptr, path, MAX_PATH) != 0 && !AnsiHolds(path))
        return true;
    return !AnsiHolds(WideCommandLine());
}

// Takes the route with all of its functions; false, and nothing taken,
// when one of them is missing.
bool Take(bool wide)
{
    FARPROC functions[kFunctionCount];
    char name[32];
    const char* listed = kPathFunctionNames;
    for (int32_t i = 0; i < kFunctionCount; ++i) {
        const size_t length = std::strlen(listed);
        std::memcpy(name, listed, length);
        name[length] = wide ? 'W' : 'A';
        name[length + 1] = '\0';
        functions[i] = KernelProcAddress(name);
        if (functions[i] == nullptr)
            return false;
        listed += length + 1;
    }
    std::memcpy(route.functions, functions, sizeof functions);
    route.state = wide ? kWide : kAnsi;
    return true;
}

void Decide()
{
    if (!Take(DecideWide()))
        route.state = kMissing;
}

template <typename Fn>
Fn Call(FARPROC const* functions, Function function)
{
    return AsFunction<Fn>(functions[function]);
}

// A text from Windows in the program's byte form (see the header).
void FromWide(const wchar_t* text, RCAnsiStr& into)
{
    size_t length = 0;
    while (text[length] != L'\0')
        ++length;
    std::unique_ptr<char[]> bytes(new char[length * EscapedUnit::kBytes + 1]);
    char* out = bytes.get();
    for (size_t i = 0; i < length; ++i) {
        const uint32_t unit = text[i];
        if (unit < 0x80)
            *out++ = static_cast<char>(unit);
        else
            out = EscapedUnit::Write(unit, out);
    }
    *out = '\0';
    into.Assign(bytes.get());
}

// Search data of either form (in room for the larger) as the ANSI form
// without its names, and the name in the program's byte form.
void TakeFound(const WIN32_FIND_DATAW& found, WIN32_FIND_DATAA& data, RCAnsiStr& name)
{
    std::memcpy(&data, &found, offsetof(WIN32_FIND_DATAA, cFileName));
    if (SystemPath::IsWide())
        FromWide(found.cFileName, name);
    else // the ANSI form wrote its own record into the room
        name.Assign(reinterpret_cast<const WIN32_FIND_DATAA&>(found).cFileName);
}

} // namespace

bool SystemPath::IsWide()
{
    if (route.state == kUndecided)
        Decide();
    return route.state == kWide;
}

bool SystemPath::Ready()
{
    IsWide();
    return route.state != kMissing;
}

void SystemPath::RequireWide()
{
    // The ANSI route with code page 932 there is the one of code page 932:
    // its paths are Shift-JIS, which the wide route takes as well.
    if (!IsWide() && Ready() && CodePageThere())
        Take(true); // all or nothing: a route half taken would call the wrong form
}

int SystemPath::ToWide(const char* text, int length, wchar_t* into, int room)
{
    return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text, length, into, room);
}

bool SystemPath::IsShiftJis(const char* text)
{
    return ToWide(text, -1, nullptr, 0) > 0 || !CodePageThere();
}

SystemPath::~SystemPath() = default;

SystemPath::SystemPath(const char* path) : bytes_(path != nullptr ? path : ""), text_(bytes_)
{
    functions_ = route.functions;
    if (!IsWide())
        return;
    wide_ = Widen(bytes_);
    text_ = wide_.get();
}

std::unique_ptr<wchar_t[]> SystemPath::Widen(const char* path)
{
    // Every byte gives at most one unit; the room for kRefused and its end.
    const size_t length = std::strlen(path);
    std::unique_ptr<wchar_t[]> wide(new wchar_t[length + 2]);
    wchar_t* out = wide.get();
    const char* at = path;
    while (*at != '\0') {
        if (*at == EscapedUnit::kMark) {
            uint32_t unit = 0;
            if (!EscapedUnit::Read(at, &unit)) {
                out = nullptr;
                break;
            }
            *out++ = static_cast<wchar_t>(unit);
            at += EscapedUnit::kBytes;
            continue;
        }
        // A run of Shift-JIS up to the next escape, converted whole: a
        // 0x5C that ends a double-byte character stays inside it.
        const char* run = at;
        while (*at != '\0' && *at != EscapedUnit::kMark)
            ++at;
        const int room = static_cast<int>(length + 1 - static_cast<size_t>(out - wide.get()));
        const int made = ToWide(run, static_cast<int>(at - run), out, room);
        if (made <= 0) {
            out = nullptr;
            break;
        }
        out += made;
    }
    if (out == nullptr) {
        out = wide.get();
        *out++ = kRefused;
    }
    *out = L'\0';
    return wide;
}

HANDLE SystemPath::Open(DWORD access, DWORD sharing, DWORD disposition, DWORD flags) const
{
    return Call<CreateFileFn>(functions_, kCreateFile)(text_, access, sharing, nullptr, disposition, flags, nullptr);
}

DWORD SystemPath::Attributes() const
{
    return Call<GetAttributesFn>(functions_, kGetFileAttributes)(text_);
}

bool SystemPath::SetAttributes(DWORD attributes) const
{
    return Call<SetAttributesFn>(functions_, kSetFileAttributes)(text_, attributes) != 0;
}

bool SystemPath::MakeFolder() const
{
    return Call<CreateDirectoryFn>(functions_, kCreateDirectory)(text_, nullptr) != 0;
}

bool SystemPath::RemoveFolder() const
{
    return Call<TextFn>(functions_, kRemoveDirectory)(text_) != 0;
}

bool SystemPath::RemoveFile() const
{
    return Call<TextFn>(functions_, kDeleteFile)(text_) != 0;
}

DWORD SystemPath::FirstFoundAttributes() const
{
    WIN32_FIND_DATAW found; // the larger: room for either form
    HANDLE search = Call<FindFirstFn>(functions_, kFindFirstFile)(text_, &found);
    if (search == INVALID_HANDLE_VALUE)
        return INVALID_FILE_ATTRIBUTES;
    FindClose(search);
    return found.dwFileAttributes;
}

HANDLE SystemPath::FindFirst(WIN32_FIND_DATAA& data, RCAnsiStr& name) const
{
    WIN32_FIND_DATAW found; // the larger: room for either form
    HANDLE search = Call<FindFirstFn>(functions_, kFindFirstFile)(text_, &found);
    if (search != INVALID_HANDLE_VALUE)
        TakeFound(found, data, name);
    return search;
}

bool SystemPath::FindNext(HANDLE search, WIN32_FIND_DATAA& data, RCAnsiStr& name)
{
    WIN32_FIND_DATAW found;
    if (!Call<FindNextFn>(route.functions, kFindNextFile)(search, &found))
        return false;
    TakeFound(found, data, name);
    return true;
}

std::FILE* SystemPath::OpenStream(const char* mode) const
{
    if (!wide_)
        return std::fopen(bytes_, mode);
    wchar_t wideMode[4] = {};
    for (int32_t i = 0; i < 3 && mode[i] != '\0'; ++i)
        wideMode[i] = static_cast<wchar_t>(mode[i]);
    return _wfopen(wide_.get(), wideMode);
}

bool SystemPath::StartProcess(const SystemPath& folder, WORD show, PROCESS_INFORMATION& created) const
{
    // CreateProcessW may write into the command line: the converted text
    // is our own. CreateProcessA does not (it converts the text first), so
    // the caller's bytes go as they are.
    void* commandLine = wide_ ? static_cast<void*>(wide_.get()) : const_cast<char*>(bytes_);
    // No texts of its own: the same record for both forms.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    return Call<CreateProcessFn>(functions_, kCreateProcess)(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                                                 folder.text_, &startup, &created) != 0;
}

bool SystemPath::StartThroughShell(HWND owner, ULONG mask, const char* verb, const char* parameters,
                                   const SystemPath& folder, WORD show, HANDLE& process) const
{
    BOOL started;
    if (wide_) {
        const SystemPath wideVerb(verb);
        const SystemPath wideParameters(parameters);
        SHELLEXECUTEINFOW request{};
        request.cbSize = sizeof request;
        request.fMask = mask;
        request.hwnd = owner;
        request.lpVerb = wideVerb.wide_.get();
        request.lpFile = wide_.get();
        request.lpParameters = wideParameters.wide_.get();
        request.lpDirectory = folder.wide_.get();
        request.nShow = show;
        started = ShellExecuteExW(&request);
        process = request.hProcess;
    } else {
        SHELLEXECUTEINFOA request{};
        request.cbSize = sizeof request;
        request.fMask = mask;
        request.hwnd = owner;
        request.lpVerb = verb;
        request.lpFile = bytes_;
        request.lpParameters = parameters;
        request.lpDirectory = folder.bytes_;
        request.nShow = show;
        started = ShellExecuteExA(&request);
        process = request.hProcess;
    }
    if (!started)
        process = nullptr;
    return started != 0;
}

void SystemPath::ModuleFile(RCAnsiStr& into)
{
    // One unit beyond the path limit stays zero: a name that does not fit
    // is cut off, and older Windows versions then write no terminator.
    wchar_t buffer[MAX_PATH + 1] = {};
    const bool wide = IsWide();
    const DWORD count = Call<ModuleFileFn>(route.functions, kGetModuleFileName)(nullptr, buffer, MAX_PATH);
    // 0: failed; MAX_PATH: cut off. Either way no path rather than a wrong one.
    if (count == 0 || count >= MAX_PATH)
        buffer[0] = L'\0';
    if (wide) {
        FromWide(buffer, into);
        return;
    }
    // The ANSI form wrote bytes into the same (zeroed) room.
    into.Assign(reinterpret_cast<const char*>(buffer));
}

void SystemPath::CommandLine(RCAnsiStr& into)
{
    if (IsWide())
        FromWide(WideCommandLine(), into);
    else
        into.Assign(GetCommandLineA());
}

int32_t SystemPath::Units() const
{
    if (wide_)
        return static_cast<int32_t>(std::wcslen(wide_.get()));
    return MultiByteToWideChar(CP_ACP, 0, bytes_, -1, nullptr, 0) - 1;
}

void SystemPath::SpecialFolder(int32_t folder, RCAnsiStr& into)
{
    wchar_t buffer[MAX_PATH];
    WideFolder(folder, buffer);
    if (IsWide()) {
        FromWide(buffer, into);
        return;
    }
    // On the ANSI route the folder is in the ANSI code page (the route was
    // chosen so): the same bytes as the ANSI form of the shell gives.
    char bytes[2 * MAX_PATH];
    into.Assign(ToAnsi(buffer, bytes, sizeof bytes) ? bytes : "");
}
