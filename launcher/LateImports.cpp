#include "launcher/LateImports.h"

#include <windows.h>

#include <cstring>

#include "launcher/DllSearchPath.h"
#include "support/SystemPath.h"

// The list: DLL, function, and on 32 bits the size of its arguments in bytes
// (stdcall decorates the imported name with it). A function the stub starts
// to call is added here; the link fails until it is, since nothing else
// defines its slot. The wide functions are the ones that show the texts
// where the ANSI code page is not 932 (UserText), and those of shell32
// that take the user's folder and start the installer as wide paths
// (support/SystemPath.h, which binds the kernel32 path functions itself);
// scripts/check-product.sh allows these and no others.
#define QM_USER32(X)                                                                                                \
    X(AdjustWindowRectEx, 16) X(CreateDialogParamA, 20) X(CreateDialogParamW, 20) X(CreateWindowExA, 48)            \
    X(DefDlgProcA, 16) X(DefDlgProcW, 16) X(DefWindowProcA, 16) X(DestroyWindow, 4) X(DispatchMessageA, 4)          \
    X(ExitWindowsEx, 8) X(FindWindowExA, 16) X(GetClientRect, 8) X(GetDlgItem, 8)            \
    X(GetMessageA, 16) X(GetPropA, 8) X(GetSysColorBrush, 4) X(GetSystemMetrics, 4) X(GetWindowLongA, 8)            \
    X(GetWindowTextA, 12) X(GetWindowThreadProcessId, 8) X(IsWindowVisible, 4) X(KillTimer, 8) X(LoadCursorA, 8)    \
    X(LoadIconA, 8) X(MessageBoxA, 16) X(MessageBoxW, 16) X(MsgWaitForMultipleObjects, 20) X(PeekMessageA, 20)      \
    X(PostMessageA, 16) X(PostQuitMessage, 4) X(RegisterClassA, 4) X(RegisterClassW, 4) X(RemovePropA, 8)           \
    X(SendMessageA, 16) X(SetPropA, 12) X(SetTimer, 16) X(SetWindowPos, 28) X(SetWindowTextA, 8)                    \
    X(SetWindowTextW, 8) X(ShowWindow, 8) X(TranslateMessage, 4) X(UnregisterClassA, 8) X(UpdateWindow, 4)
#define QM_GDI32(X) X(CreateFontA, 56) X(CreateFontW, 56) X(DeleteObject, 4) X(GetStockObject, 4)
#define QM_SHELL32(X) X(SHGetFolderPathW, 20) X(ShellExecuteExA, 4) X(ShellExecuteExW, 4)
#define QM_ADVAPI32(X) X(AdjustTokenPrivileges, 24) X(LookupPrivilegeValueA, 12) X(OpenProcessToken, 12)

#define QM_LATE_DLLS(X) X(user32, QM_USER32) X(gdi32, QM_GDI32) X(shell32, QM_SHELL32) X(advapi32, QM_ADVAPI32)

#if defined(_WIN64)
#define QM_IMPORT_SYMBOL(name, bytes) "__imp_" #name
#else
#define QM_IMPORT_SYMBOL(name, bytes) "__imp__" #name "@" #bytes
#endif

// The slots, null until bound.
#define QM_SLOT(name, bytes) FARPROC qmLate_##name __asm__(QM_IMPORT_SYMBOL(name, bytes)) = nullptr;
#define QM_DLL_SLOTS(dll, functions) functions(QM_SLOT)
extern "C" {
QM_LATE_DLLS(QM_DLL_SLOTS)
}

namespace {

// The same order as the names in the table.
#define QM_SLOT_ADDRESS(name, bytes) &qmLate_##name,
#define QM_DLL_SLOT_ADDRESSES(dll, functions) functions(QM_SLOT_ADDRESS)
FARPROC* const kSlots[] = {QM_LATE_DLLS(QM_DLL_SLOT_ADDRESSES)};

} // namespace

#define QM_NAME(name, bytes) #name "\0"
#define QM_DLL_NAMES(dll, functions) #dll ".dll\0" functions(QM_NAME) "\0"
const char kLateImportTable[] = QM_LATE_IMPORTS_MARKER "\0" QM_LATE_DLLS(QM_DLL_NAMES);

bool BindLateImports()
{
    // The table ends with an empty DLL name (the literal's own zero follows
    // the last list's end).
    const char* entry = kLateImportTable + sizeof QM_LATE_IMPORTS_MARKER;
    FARPROC* const* slot = kSlots;
    while (*entry != '\0') {
        HMODULE module = LoadSystemDll(entry);
        entry += std::strlen(entry) + 1;
        for (; *entry != '\0'; entry += std::strlen(entry) + 1, ++slot) {
            FARPROC function = module != nullptr ? GetProcAddress(module, entry) : nullptr;
            if (function == nullptr)
                return false;
            **slot = function;
        }
        ++entry;
    }
    // The kernel32 functions that take paths, in the form of the route
    // (which asks shell32 for the user's folder: bound by now).
    return SystemPath::Ready();
}

bool MessageBoxesBound()
{
    return qmLate_MessageBoxA != nullptr && qmLate_MessageBoxW != nullptr;
}
