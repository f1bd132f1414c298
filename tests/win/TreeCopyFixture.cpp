// An installer stand-in for the round-trip test: it copies the whole tree
// that it finds beside itself (the launcher's work folder, itself included)
// to a folder outside, and writes down what Windows says about every entry
// there before anything is read, since reading moves last-access times.
//
//   QM_TREE_COPY   destination folder (must exist): the copies go to
//                  <dest>\tree, the record to <dest>\manifest.txt
//   QM_TREE_HELPER milliseconds: before ending, start this very file again
//                  as a helper that outlives it (as a self-relaunching
//                  installer does); the helper waits that long, reads every
//                  file of the tree again and writes "helper=read" to
//                  <dest>\helper.txt, or "helper=missing <path>"
//
// manifest.txt (UTF-8): "commandline=", "module=", one "entry=" line per
// file or folder (TreeListing::Format), then "result=ok" or
// "result=<what failed>", then "end". Exit code 0 when everything was
// copied, 1 otherwise.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "support/WinHandle.h"
#include "tests/win/TreeListing.h"
#include "tools/WideText.h"

namespace {

std::string Utf8(const std::wstring& wide)
{
    return WideText::ToUtf8(wide.c_str(), static_cast<int>(wide.size()));
}

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n == 0 || n >= 1024 ? std::wstring() : std::wstring(value, n);
}

// The content only: the copy is a plain new file, whatever the original's
// attributes.
bool CopyContent(const std::wstring& from, const std::wstring& to)
{
    FileHandle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    FileHandle out(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.Valid() || !out.Valid())
        return false;
    char buffer[65536];
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(in.Get(), buffer, sizeof buffer, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!WriteFile(out.Get(), buffer, got, &written, nullptr) || written != got)
            return false;
    }
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Valid() && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// The helper: after the wait, the tree beside it must still be whole.
int RunAsHelper(const std::wstring& folder, const std::wstring& dest, DWORD delay)
{
    Sleep(delay);
    std::string result = "read";
    std::vector<ListedEntry> entries;
    if (!TreeListing::Take(folder, &entries) || entries.empty())
        result = "missing " + Utf8(folder);
    for (const ListedEntry& e : entries) {
        if (e.folder)
            continue;
        FileHandle file(CreateFileW((folder + L"\\" + e.path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        char first;
        DWORD got = 0;
        if (!file.Valid() || !ReadFile(file.Get(), &first, 1, &got, nullptr) || got != (e.size > 0 ? 1u : 0u)) {
            result = "missing " + Utf8(e.path);
            break;
        }
    }
    return WriteText(dest + L"\\helper.txt", "helper=" + result + "\n") ? 0 : 1;
}

// Starts this program again as the helper, which inherits the environment.
bool StartHelper(const std::wstring& self, const std::wstring& delay)
{
    SetEnvironmentVariableW(L"QM_TREE_AS_HELPER", delay.c_str());
    std::wstring line = L"\"" + self + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(self.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    std::wstring dest = Variable(L"QM_TREE_COPY");
    if (dest.empty())
        return 1;
    wchar_t module[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring self(module, n < MAX_PATH ? n : 0);
    std::wstring folder = self.substr(0, self.find_last_of(L'\\'));
    const std::wstring asHelper = Variable(L"QM_TREE_AS_HELPER");
    if (!asHelper.empty())
        return RunAsHelper(folder, dest, std::wcstoul(asHelper.c_str(), nullptr, 10));

    std::string manifest = "commandline=" + Utf8(GetCommandLineW()) + "\nmodule=" + Utf8(self) + "\n";
    std::string result = "ok";
    std::vector<ListedEntry> entries;
    if (self.empty() || !TreeListing::Take(folder, &entries))
        result = "cannot list " + Utf8(folder);
    for (const ListedEntry& e : entries)
        manifest += "entry=" + TreeListing::Format(e) + "\n";

    // Sorted paths put every folder before what lies in it.
    std::wstring tree = dest + L"\\tree";
    if (result == "ok" && !CreateDirectoryW(tree.c_str(), nullptr))
        result = "cannot create " + Utf8(tree);
    for (const ListedEntry& e : entries) {
        if (result != "ok")
            break;
        std::wstring to = tree + L"\\" + e.path;
        bool ok = e.folder ? CreateDirectoryW(to.c_str(), nullptr) != 0 : CopyContent(folder + L"\\" + e.path, to);
        if (!ok)
            result = "cannot copy " + Utf8(e.path);
    }
    const std::wstring helper = Variable(L"QM_TREE_HELPER");
    if (result == "ok" && !helper.empty() && !StartHelper(self, helper))
        result = "cannot start the helper";
    manifest += "result=" + result + "\nend\n";
    if (!WriteText(dest + L"\\manifest.txt", manifest))
        return 1;
    return result == "ok" ? 0 : 1;
}
