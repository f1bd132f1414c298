// The Windows functions that the stub binds after start-up.
//
// The stub imports only kernel32 and the C runtime at load time (known DLLs,
// always taken from the system folder). Every function it calls in user32,
// gdi32, shell32 and advapi32 is reached through a slot of its own, under the
// name that the compiler calls through for an imported function
// (__imp_Name, on 32 bits __imp__Name@N): the slots stand in for the import
// table's entries. BindLateImports fills them, loading each DLL by its full
// path in the system folder, once the DLL search has been restricted.
#pragma once

// Loads the DLLs and fills every slot. False when a DLL or one of its
// functions cannot be had; slots filled so far stay filled, the others are
// null, and nothing of those DLLs may be called then.
bool BindLateImports();
// Whether the message-box functions are bound (user32 comes first, so they
// are unless user32 itself is missing something): a failed binding can
// still be told to the user.
bool MessageBoxesBound();

// The names: the marker, then "dll\0name\0name\0\0" for each DLL, then an
// empty DLL name. The marker lets a look at the image find the list
// (scripts/late-imports.py).
#define QM_LATE_IMPORTS_MARKER "QmLateImports"
extern const char kLateImportTable[];
