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

// The fallback's loads: uxtheme, dwmapi, cryptbase, userenv and propsys
// from the system folder by their full paths, those that exist.
void LoadLateSystemDlls();
