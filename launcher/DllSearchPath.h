// Keeps DLLs planted beside the program out of it.
//
// An installer is usually started from a downloads folder, where anyone may
// have left a DLL named like a system one. The program imports only kernel32
// and the C runtime at load time (both known DLLs, always taken from the
// system); everything else is loaded on first use, after this call.
#pragma once
#include <windows.h>

// Limits the DLL search to the system folder. Where Windows cannot do that
// (XP; Vista and 7 without the update), takes the current folder out of the
// search and loads the DLLs that Windows itself loads late from the system
// folder by their full paths, so that a later load by name finds them
// loaded. Call it first, before anything can load a DLL.
void RestrictDllSearchPath();

// Loads a DLL from the system folder by its full path; null when it cannot
// be loaded (or the path does not fit).
HMODULE LoadSystemDll(const char* name);

// DLLs that are not known DLLs and that the system DLLs the program uses
// load by name on its behalf after start-up: themes and window composition
// (uxtheme, dwmapi), the security and profile helpers (cryptbase, userenv,
// ntmarta, profapi), the shell's helpers (propsys, setupapi, apphelp, the
// shim engine that process creation and the shell consult, version), and
// what message boxes and the shell's COM use (oleacc, clbcatq). Each is one
// a copy planted beside the program would otherwise stand in for.
// One text: each name ends with a zero byte, and an empty name ends the
// list (no table of pointers: every byte of the stub counts).
inline constexpr char kLateSystemDlls[] =
    "uxtheme.dll\0dwmapi.dll\0cryptbase.dll\0userenv.dll\0propsys.dll\0setupapi.dll\0"
    "apphelp.dll\0oleacc.dll\0clbcatq.dll\0version.dll\0ntmarta.dll\0profapi.dll\0";

// The fallback's loads: the DLLs above, from the system folder by their full
// paths, those that exist.
void LoadLateSystemDlls();
