// A flow for a stub that calls a user32 function missing from the list in
// launcher/LateImports.cpp (IsIconic). Linked the product's way it must
// not link at all (test_late_import_list_enforced): nothing but that list
// may define the function's import slot.
#include <windows.h>

#include "launcher/Extract.h"
#include "launcher/Launch.h"
#include "launcher/UserInterface.h"

bool extract(UserInterface& ui, WorkFolderChain&)
{
    return IsIconic(ui.ProgressWindow()) == FALSE;
}

bool launch(UserInterface&, WorkFolderChain&)
{
    return true;
}
