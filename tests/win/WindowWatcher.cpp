// A window watcher for the stub's tests.
//
//   window_watcher REPORT MODE PROGRAM
//
// Starts PROGRAM and watches its top-level windows until it ends (at most
// 30 s, then it is ended and "timeout=1" is reported):
// - the progress window (class TMainForm), once visible: caption, label
//   text and place, client size, window rectangle, screen size, styles, and
//   the window that owns it (the application's taskbar window) with its
//   title, size and visibility;
// - MODE "close": after 200 ms, tries to close the visible progress window
//   with WM_CLOSE, WM_SYSCOMMAND SC_CLOSE, Alt+F4 and WM_CLOSE to its owner,
//   and reports after each whether it is still there and visible;
// - every message box (class #32770): its text (child 0xFFFF), caption,
//   owner, the title at that time and which standard icon it shows, found
//   by comparing its pixels (it is made topmost for that); then it is
//   dismissed with IDOK;
// - the exit code.
// When it is done with the progress window (recorded, and in MODE "close"
// the attempts made) it creates the file named by QM_FAKE_RELEASE, which
// ends the stub's busy flow double.
// REPORT gets "key=value" lines; texts are written as they are (code page
// 932 bytes), line breaks as "\n". The texts of the progress window and of
// the message boxes are also read as UTF-16, through the wide functions, and
// written in UTF-8 under the same key with ".wide" added: what the user
// sees whatever the ANSI code page (an ANSI read gives "?" where a Unicode
// window holds a character that the code page lacks). "acp" is the ANSI
// code page of the run.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "WaitScale.h"

namespace {

// The limit on one watched run, stretched where 32-bit programs are emulated.
const DWORD kLimit = testwin::Scaled(30000);

struct Report {
    FILE* file;
    void Put(const std::string& key, const std::string& value)
    {
        std::string line = key + "=";
        for (char c : value)
            line += c == '\n' ? std::string("\\n") : std::string(1, c);
        std::fprintf(file, "%s\n", line.c_str());
        std::fflush(file);
    }
    void Put(const std::string& key, long value) { Put(key, std::to_string(value)); }
};

std::string Text(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string Utf8(const wchar_t* text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length - 1));
    return utf8;
}

std::string WideText(HWND window)
{
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return Utf8(text);
}

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The visible-or-not top-level windows of a class that belong to a process.
std::vector<HWND> WindowsOf(DWORD process, const char* className)
{
    std::vector<HWND> found;
    for (HWND window = FindWindowExA(nullptr, nullptr, className, nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process)
            found.push_back(window);
    }
    return found;
}

std::string Rect(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
           std::to_string(r.bottom - r.top);
}

void RecordForm(Report& report, HWND form)
{
    report.Put("form.caption", Text(form));
    report.Put("form.caption.wide", WideText(form));
    RECT client;
    GetClientRect(form, &client);
    report.Put("form.client", std::to_string(client.right) + "x" + std::to_string(client.bottom));
    RECT outer;
    GetWindowRect(form, &outer);
    report.Put("form.window", Rect(outer));
    report.Put("screen", std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                             std::to_string(GetSystemMetrics(SM_CYSCREEN)));
    char style[32];
    std::snprintf(style, sizeof style, "%08lX", static_cast<unsigned long>(GetWindowLongA(form, GWL_STYLE)));
    report.Put("form.style", style);
    std::snprintf(style, sizeof style, "%08lX", static_cast<unsigned long>(GetWindowLongA(form, GWL_EXSTYLE)));
    report.Put("form.exstyle", style);

    HWND label = FindWindowExA(form, nullptr, "Static", nullptr);
    if (label != nullptr) {
        RECT place;
        GetWindowRect(label, &place);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&place), 2);
        report.Put("label.rect", Rect(place));
        report.Put("label.text", Text(label));
        report.Put("label.text.wide", WideText(label));
    }
    HWND owner = GetWindow(form, GW_OWNER);
    if (owner != nullptr) {
        report.Put("owner.class", ClassOf(owner));
        report.Put("owner.title", Text(owner));
        report.Put("owner.visible", IsWindowVisible(owner) ? 1 : 0);
        RECT r;
        GetWindowRect(owner, &r);
        report.Put("owner.size", std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
    }
}

// The pixels of a screen rectangle, or of an icon drawn on a given colour.
std::vector<COLORREF> Pixels(HDC source, int x, int y, int width, int height, HICON icon, COLORREF background)
{
    std::vector<COLORREF> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (icon == nullptr) {
        BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    } else {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    }
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            pixels.push_back(GetPixel(memory, column, row));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Which standard icon a message box shows: its icon control's pixels on
// screen against each standard icon drawn on the same background.
std::string IconOf(HWND box)
{
    HWND control = nullptr;
    for (HWND child = FindWindowExA(box, nullptr, "Static", nullptr); child != nullptr;
         child = FindWindowExA(box, child, "Static", nullptr)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
            control = child;
    }
    if (control == nullptr)
        return "none";
    RECT place;
    GetWindowRect(control, &place);
    int width = GetSystemMetrics(SM_CXICON);
    int height = GetSystemMetrics(SM_CYICON);
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> shown = Pixels(screen, place.left, place.top, width, height, nullptr, 0);
    ReleaseDC(nullptr, screen);
    COLORREF background = shown.empty() ? 0 : shown[0];

    struct Candidate {
        const char* name;
        LPCSTR id;
    };
    const Candidate candidates[] = {
        {"error", IDI_HAND}, {"question", IDI_QUESTION}, {"warning", IDI_EXCLAMATION}, {"information", IDI_ASTERISK}};
    std::string best = "unknown";
    size_t bestDifferences = shown.size() / 20 + 1; // at most 5 % off
    for (const Candidate& candidate : candidates) {
        std::vector<COLORREF> drawn =
            Pixels(nullptr, 0, 0, width, height, LoadIconA(nullptr, candidate.id), background);
        size_t differences = 0;
        for (size_t i = 0; i < shown.size() && i < drawn.size(); ++i)
            differences += shown[i] != drawn[i];
        if (differences < bestDifferences) {
            bestDifferences = differences;
            best = candidate.name;
        }
    }
    return best;
}

void Release()
{
    const char* release = std::getenv("QM_FAKE_RELEASE");
    if (release == nullptr)
        return;
    HANDLE file = CreateFileA(release, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

// Sends the message and waits until the stub has handled it (and what it
// posted in turn, such as the close command that Alt+F4 makes).
void TryClose(Report& report, HWND form, const char* name, HWND target, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(target, message, wParam, lParam, SMTO_NORMAL, 10000, &result);
    Sleep(200);
    SendMessageTimeoutA(form, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    report.Put(std::string("after.") + name,
               IsWindow(form) ? (IsWindowVisible(form) ? "visible" : "hidden") : "gone");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_watcher REPORT MODE PROGRAM\n");
        return 2;
    }
    Report report{std::fopen(argv[1], "wb")};
    if (report.file == nullptr)
        return 2;
    bool closeMode = std::strcmp(argv[2], "close") == 0;

    std::string commandLine = std::string("\"") + argv[3] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(argv[3], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        report.Put("started", 0);
        return 1;
    }
    report.Put("started", 1);
    report.Put("acp", static_cast<long>(GetACP()));

    DWORD start = GetTickCount();
    DWORD formSeen = 0;
    bool formRecorded = false;
    bool closesDone = false;
    std::set<HWND> boxes;
    int boxCount = 0;
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > kLimit) {
            report.Put("timeout", 1);
            TerminateProcess(process.hProcess, 99);
            break;
        }
        for (HWND form : WindowsOf(process.dwProcessId, "TMainForm")) {
            if (!IsWindowVisible(form))
                continue;
            if (!formRecorded) {
                // Once it is in place: shown windows are not moved any more.
                Sleep(50);
                RecordForm(report, form);
                formRecorded = true;
                formSeen = GetTickCount();
                if (!closeMode)
                    Release();
            }
            if (closeMode && !closesDone && GetTickCount() - formSeen >= 200) {
                closesDone = true;
                HWND owner = GetWindow(form, GW_OWNER);
                TryClose(report, form, "wm_close", form, WM_CLOSE, 0, 0);
                TryClose(report, form, "sc_close", form, WM_SYSCOMMAND, SC_CLOSE, 0);
                // Alt held: context code bit 29.
                TryClose(report, form, "alt_f4", form, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
                if (owner != nullptr) {
                    TryClose(report, form, "owner_close", owner, WM_CLOSE, 0, 0);
                    TryClose(report, form, "owner_minimize", owner, WM_SYSCOMMAND, SC_MINIMIZE, 0);
                }
                Release();
            }
        }
        for (HWND box : WindowsOf(process.dwProcessId, "#32770")) {
            if (!IsWindowVisible(box) || boxes.count(box) != 0)
                continue;
            boxes.insert(box);
            // On top of every other window (other tests' too) for the
            // look at its icon, then painted.
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Sleep(300);
            std::string key = "box" + std::to_string(++boxCount);
            char text[1024] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            report.Put(key + ".text", text);
            wchar_t wide[1024] = L"";
            GetDlgItemTextW(box, 0xFFFF, wide, 1024);
            report.Put(key + ".text.wide", Utf8(wide));
            report.Put(key + ".caption", Text(box));
            report.Put(key + ".caption.wide", WideText(box));
            HWND owner = GetWindow(box, GW_OWNER);
            report.Put(key + ".owner", owner != nullptr ? ClassOf(owner) : std::string());
            std::vector<HWND> applications = WindowsOf(process.dwProcessId, "QuillimarkApplication");
            report.Put(key + ".title", applications.empty() ? std::string() : Text(applications[0]));
            report.Put(key + ".icon", IconOf(box));
            std::vector<HWND> forms = WindowsOf(process.dwProcessId, "TMainForm");
            report.Put(key + ".form", forms.empty() ? "gone" : (IsWindowVisible(forms[0]) ? "visible" : "hidden"));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    report.Put("exit", static_cast<long>(code));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::fclose(report.file);
    return 0;
}
